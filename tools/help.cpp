// The help texts of the operations.
#include <cstring>

#include "commands.h"

namespace tool {

namespace {

struct OptionText {
    const char* name;
    const char* text;  // "ARGUMENT: meaning"
};

const OptionText kOptionTexts[] = {
    {"--roi",
     "X,Y,W,H: work on the WxH region whose top-left pixel is (X, Y).  X counts\n"
     "columns from the left, Y rows from the top line of the picture, both from 0,\n"
     "also in bottom-up BMP files (their rows are read top line first).  A region\n"
     "reaching past the right or bottom edge is cut there; one that starts outside\n"
     "the image is an error.  Without --roi: the whole image."},
    {"--coi",
     "N: work on channel N alone (1 to 4): gray images have channel 1 (and alpha 2);\n"
     "colour images blue 1, green 2, red 3 (and alpha 4).  Default: every channel\n"
     "but alpha, which filters leave as it is."},
    {"--mask", "FILE: change only the pixels where FILE (an image of the same size) is not 0."},
    {"--border",
     "MODE: what filters see beyond the image's edges:\n"
     "  constant[=V]  the value V, 0 if not given (the default)\n"
     "  replicate     the nearest edge pixel:           a a | a b c\n"
     "  reflect       mirrored, edge pixel repeated:    b a | a b c\n"
     "  wrap          the image repeated:               b c | a b c"},
    {"--kernel",
     "NAME: the kernel, its weights listed row by row from the top, each row from the\n"
     "left, applied centred on the pixel.  Sums below 0 or above the maximum stay at\n"
     "0 or the maximum on 8- and 16-bit images, so an edge kernel on them shows the\n"
     "edges of one sign only.\n"
     "  prewitt-x   3x3  1 0 -1 / 1 0 -1 / 1 0 -1      left minus right: positive\n"
     "                                                 where the left is brighter\n"
     "  prewitt-y   3x3  -1 -1 -1 / 0 0 0 / 1 1 1      below minus above: positive\n"
     "                                                 where the rows below are brighter\n"
     "  sobel-x     3x3  1 0 -1 / 2 0 -2 / 1 0 -1      as prewitt-x, centre row twice\n"
     "  sobel-y     3x3  -1 -2 -1 / 0 0 0 / 1 2 1      as prewitt-y, centre column twice\n"
     "  laplace-3   3x3  -1 -1 -1 / -1 8 -1 / -1 -1 -1 positive on bright details\n"
     "  laplace-5   5x5  -1 -3 -4 -3 -1 / -3 0 6 0 -3 / -4 6 20 6 -4 /\n"
     "                   -3 0 6 0 -3 / -1 -3 -4 -3 -1\n"
     "  gauss-3     3x3  1 2 1 / 2 4 2 / 1 2 1, divided by 16 (rounded, halves to even)\n"
     "  gauss-5     5x5  2 7 12 7 2 / 7 31 52 31 7 / 12 52 127 52 12 / 7 31 52 31 7 /\n"
     "                   2 7 12 7 2, divided by 571 (rounded to nearest)\n"
     "  highpass-3  3x3  the same as laplace-3\n"
     "  highpass-5  5x5  every weight -1, the centre 24\n"
     "  sharpen-3   3x3  -1 -1 -1 / -1 16 -1 / -1 -1 -1, divided by 8 (the picture\n"
     "                   plus an eighth of laplace-3)"},
    {"--iterations", "N: the size of the square, (2N+1)x(2N+1) (default 1: 3x3)"},
    {"--scale",
     "S: the factor, as 50%, 0.5, 1/2 or 2; the output is the region's size times S,\n"
     "rounded down"},
    {"--interp",
     "MODE: how output pixels between input pixels are made:\n"
     "  nn      the nearest input pixel\n"
     "  linear  bilinear, from the 2x2 pixels around (the default)\n"
     "  cubic   bicubic, from the 4x4 pixels around (four-point Lagrange cubic)\n"
     "  super   super-sampling: the area-weighted mean of the input pixels an output\n"
     "          pixel covers; only for shrinking (resize, decimate)"},
    {"--rotate",
     "DEG: turn the picture clockwise by DEG degrees (negative: counter-clockwise)\n"
     "about its centre; the output has the input's size"},
    {"--xmap",
     "FILE: the x position to read for each output pixel (a one-channel float map,\n"
     ".pfm or float TIFF; its size is the output's)"},
    {"--ymap", "FILE: the y position, likewise"},
    {"--value", "V: the value, in sample units (0 to 255 on 8-bit images)"},
};

const char* textOf(const char* name) {
    for (const OptionText& t : kOptionTexts)
        if (std::strcmp(t.name, name) == 0) return t.text;
    return "";
}

// "--size WxH: text" as an indented block.
std::string optionBlock(const char* name, const char* text) {
    std::string out = "  " + std::string(name) + " ";
    for (const char* p = text; *p; ++p) {
        out += *p;
        if (*p == '\n') out += "      ";
    }
    return out + "\n";
}

}  // namespace

std::string commandHelp(const Command& c) {
    std::string options;
    for (const OptionUse& use : c.options)
        options += optionBlock(use.name, use.text ? use.text : textOf(use.name));
    options += optionBlock("--quality", "Q: JPEG quality of the output, 1 to 100 (default 90)");
    std::string inputs = c.inputs == 2 ? "IN1 IN2 OUT" : "IN OUT";
    std::string usage = "usage: zar " + std::string(c.name) + " [options] " + inputs + "\n";
    if (c.inputs == 1) {
        usage += "       zar " + std::string(c.name) + " [options] IN... -o DIR [--format EXT]\n";
        options += optionBlock("-o",
                               "DIR: write each input to DIR under its own name, all cores\n"
                               "at work; one line per file");
        options += optionBlock("--format",
                               "EXT: with -o, the outputs' type (default: the "
                               "input's)");
    }
    return usage + "\n" + c.about + "\n\noptions:\n" + options + "\nexample: " + c.example + "\n";
}

}  // namespace tool
