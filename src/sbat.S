// The SBAT section of the signed images: the CSV shim reads to decide
// whether this program may run. Shim refuses an image without one. The
// first line is the SBAT format's own, which every such section starts
// with; the second names this program at generation 1. A revocation of
// a flawed build raises the generation it must carry. Read-only data, so
// the image keeps no section both writable and executable.
        .section .sbat, "dr"
        .ascii "sbat,1,SBAT Version,sbat,1,https://github.com/rhboot/shim/blob/main/SBAT.md\n"
        .ascii "uefi-slides,1,uefi-slides,uefi-slides,1,README.md\n"
