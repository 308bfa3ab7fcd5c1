# Makes one release archive: cmake -DDIST_DIR=... -DSTAGE_DIR=... -DARCHIVE=.../NAME.zip
#   -DFILES=a,b -DNOTE=... -P make_archive.cmake
# The archive holds a folder NAME with the files from DIST_DIR, the install note (UTF-8 with a
# byte order mark and CR LF line ends, so that Notepad on any Windows shows it) and SHA256SUMS
# in the format `sha256sum -c` reads.
get_filename_component(folder_name ${ARCHIVE} NAME_WLE)
set(folder ${STAGE_DIR}/${folder_name})
file(REMOVE_RECURSE ${STAGE_DIR})
file(MAKE_DIRECTORY ${folder})
string(REPLACE "," ";" FILES "${FILES}")

foreach(name IN LISTS FILES)
    get_filename_component(subfolder ${folder}/${name} DIRECTORY)
    file(MAKE_DIRECTORY ${subfolder})
    file(COPY_FILE ${DIST_DIR}/${name} ${folder}/${name})
endforeach()

file(READ ${NOTE} note)
string(REPLACE "\n" "\r\n" note "${note}")
string(ASCII 239 187 191 byte_order_mark)
get_filename_component(note_name ${NOTE} NAME)
file(WRITE ${folder}/${note_name} "${byte_order_mark}${note}")

set(sums "")
foreach(name IN LISTS FILES ITEMS ${note_name})
    file(SHA256 ${folder}/${name} hash)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${folder}/SHA256SUMS "${sums}")

file(REMOVE ${ARCHIVE})
execute_process(
    COMMAND ${CMAKE_COMMAND} -E tar cf ${ARCHIVE} --format=zip ${folder_name}
    WORKING_DIRECTORY ${STAGE_DIR}
    COMMAND_ERROR_IS_FATAL ANY)
