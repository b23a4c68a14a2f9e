# Run by CPack once the zip is made, before it is copied out of CPack's
# working folder: SHA256SUMS beside the copy, in the form that
# `sha256sum -c` reads.
set(sums "")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
    file(SHA256 ${package} hash)
    get_filename_component(name ${package} NAME)
    string(APPEND sums "${hash}  ${name}\n")
endforeach()
file(WRITE ${CPACK_PACKAGE_DIRECTORY}/SHA256SUMS "${sums}")
