# Builds one setup program with makensis:
#   cmake -DMAKENSIS=... -DSCRIPT=.../setup.nsi -DNSIS_TARGET=x86-unicode|amd64-unicode
#         -DDIST_DIR=... -DVERSION=... -DICON=... -DOUTPUT=... -DWORK_DIR=...
#         -DSIDE_PICTURE=... [-DEXTRA_GUIDE=FILE,...] [-DDEFINES=NAME=VALUE,...]
#         -P make_setup.cmake
# The operator's guide, when the build has put it into DIST_DIR/guide, is installed file by
# file: the include written here installs its files and writes their names into the list that
# the setup keeps of what it installed. EXTRA_GUIDE adds pages to the guide's folder, for the
# tests' setup of an earlier version whose guide had more.
set(guide_dir ${DIST_DIR}/guide)
set(guide_files "")
if(IS_DIRECTORY ${guide_dir})
    file(GLOB_RECURSE guide_files LIST_DIRECTORIES false RELATIVE ${guide_dir} ${guide_dir}/*)
    list(SORT guide_files)
endif()
set(guide_sources "")
foreach(name IN LISTS guide_files)
    list(APPEND guide_sources ${guide_dir}/${name})
endforeach()
string(REPLACE "," ";" EXTRA_GUIDE "${EXTRA_GUIDE}")
foreach(extra IN LISTS EXTRA_GUIDE)
    get_filename_component(name ${extra} NAME)
    list(APPEND guide_files ${name})
    list(APPEND guide_sources ${extra})
endforeach()

set(install_lines "")
set(name_lines "")
foreach(name source IN ZIP_LISTS guide_files guide_sources)
    get_filename_component(folder guide/${name} DIRECTORY)
    string(REPLACE "/" "\\" windows_name "guide/${name}")
    string(REPLACE "/" "\\" windows_folder "${folder}")
    string(APPEND install_lines "    SetOutPath \"$INSTDIR\\${windows_folder}\"\n"
                                "    File \"${source}\"\n")
    string(APPEND name_lines "    FileWrite \${handle} \"${windows_name}$\\r$\\n\"\n")
endforeach()

set(guide_include ${WORK_DIR}/guide_files.nsh)
set(guide_define "")
if(guide_files)
    set(guide_define "!define GUIDE_INSTALLED\n")
endif()
file(WRITE ${guide_include} "${guide_define}"
    "!macro InstallGuide\n${install_lines}    SetOutPath \"$INSTDIR\"\n!macroend\n"
    "!macro WriteGuideNames handle\n${name_lines}!macroend\n")

set(define_options "")
string(REPLACE "," ";" DEFINES "${DEFINES}")
foreach(define IN LISTS DEFINES)
    list(APPEND define_options -D${define})
endforeach()
execute_process(
    COMMAND ${MAKENSIS} -V2 -WX -INPUTCHARSET UTF8 -DTARGET=${NSIS_TARGET} -DVERSION=${VERSION}
            -DDIST_DIR=${DIST_DIR} -DICON=${ICON} -DSIDE_PICTURE=${SIDE_PICTURE} -DOUTPUT=${OUTPUT}
            -DGUIDE_NSH=${guide_include}
            ${define_options} ${SCRIPT}
    COMMAND_ERROR_IS_FATAL ANY)
