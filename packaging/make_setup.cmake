# Builds one setup program with makensis:
#   cmake -DMAKENSIS=... -DSCRIPT=.../setup.nsi -DNSIS_TARGET=x86-unicode|amd64-unicode
#         -DDIST_DIR=... -DVERSION=... -DICON=... -DOUTPUT=... -DWORK_DIR=...
#         -DSIDE_PICTURE=... [-DDEFINES=NAME=VALUE,...] -P make_setup.cmake
# The operator's guide, when the build has put it into DIST_DIR/guide, is installed file by
# file: the include written here lists its files for the install and for the uninstall, so that
# the uninstaller removes exactly those.
set(guide_dir ${DIST_DIR}/guide)
set(guide_files "")
if(IS_DIRECTORY ${guide_dir})
    file(GLOB_RECURSE guide_files LIST_DIRECTORIES false RELATIVE ${guide_dir} ${guide_dir}/*)
    list(SORT guide_files)
endif()

set(install_lines "")
set(uninstall_lines "")
set(guide_folders "")
foreach(name IN LISTS guide_files)
    get_filename_component(folder guide/${name} DIRECTORY)
    string(REPLACE "/" "\\" windows_name "guide/${name}")
    string(REPLACE "/" "\\" windows_folder "${folder}")
    string(APPEND install_lines "    SetOutPath \"$INSTDIR\\${windows_folder}\"\n"
                                "    File \"${guide_dir}/${name}\"\n")
    string(APPEND uninstall_lines "    Delete \"$INSTDIR\\${windows_name}\"\n")
    list(APPEND guide_folders ${windows_folder})
endforeach()
# Deepest folders first; RMDir removes a folder only when nothing else is left in it.
list(REMOVE_DUPLICATES guide_folders)
list(SORT guide_folders ORDER DESCENDING)
foreach(folder IN LISTS guide_folders)
    string(APPEND uninstall_lines "    RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()

set(guide_include ${WORK_DIR}/guide_files.nsh)
set(guide_define "")
if(guide_files)
    set(guide_define "!define GUIDE_INSTALLED\n")
endif()
file(WRITE ${guide_include} "${guide_define}"
    "!macro InstallGuide\n${install_lines}    SetOutPath \"$INSTDIR\"\n!macroend\n"
    "!macro UninstallGuide\n${uninstall_lines}!macroend\n")

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
