# Writes DIR/SHA256SUMS for the release files of VERSION in DIR, the archives and the setup
# programs of every architecture built so far, in the format `sha256sum -c` reads:
#   cmake -DDIR=... -DNAME=trimdesk -DVERSION=... -P write_checksums.cmake
file(GLOB release_files RELATIVE ${DIR}
    ${DIR}/${NAME}-${VERSION}-win*.zip ${DIR}/${NAME}-${VERSION}-setup-win*.exe)
list(SORT release_files)
set(sums "")
foreach(name IN LISTS release_files)
    file(SHA256 ${DIR}/${name} hash)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${DIR}/SHA256SUMS "${sums}")
