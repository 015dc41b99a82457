// The demo's photograph, built into the tool so that `zar demo` needs no file.
// ZAR_SAMPLE_FILE is the path of data/chelsea.png, given by CMake.
asm(".section .rodata\n"
    ".balign 16\n"
    ".global zarSamplePhoto\n"
    "zarSamplePhoto:\n"
    ".incbin \"" ZAR_SAMPLE_FILE
    "\"\n"
    ".global zarSamplePhotoEnd\n"
    "zarSamplePhotoEnd:\n"
    ".previous\n");
