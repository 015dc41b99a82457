#include "options.h"

#include <cmath>
#include <cstdlib>
#include <numeric>

namespace tool {

namespace {

int32_t parseInt(const std::string& text, const std::string& what, long low, long high) {
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high)
        throw UserError("bad " + what + " '" + text + "'");
    return static_cast<int32_t>(value);
}

double parseReal(const std::string& text, const std::string& what) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        throw UserError("bad " + what + " '" + text + "'");
    return value;
}

std::vector<int32_t> parseList(const std::string& text, char separator, size_t count,
                               const std::string& what, long low) {
    std::vector<int32_t> values;
    for (size_t start = 0;;) {
        size_t end = text.find(separator, start);
        std::string part = text.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty() || values.size() == count)
            throw UserError("bad " + what + " '" + text + "'");
        values.push_back(parseInt(part, what, low, 1L << 30));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    if (values.size() != count) throw UserError("bad " + what + " '" + text + "'");
    return values;
}

Pair parsePair(const std::string& text, char separator, const std::string& what, long low) {
    std::vector<int32_t> v = parseList(text, separator, 2, what, low);
    return {v[0], v[1]};
}

int32_t parseInterp(const std::string& text) {
    static const char* const names[] = {"nn", "linear", "cubic", "super"};
    for (int32_t i = 0; i < 4; ++i)
        if (text == names[i]) return i;
    throw UserError("bad --interp '" + text + "' (nn, linear, cubic or super)");
}

void parseBorder(Options& o, const std::string& text) {
    static const char* const names[] = {"constant", "replicate", "reflect", "wrap"};
    const std::string mode = text.substr(0, text.find('='));
    for (int32_t i = 0; i < 4; ++i) {
        if (mode != names[i]) continue;
        o.borderMode = i;
        if (mode.size() < text.size()) {
            if (i != ZAR_BORDER_CONSTANT) break;
            o.borderValue = parseInt(text.substr(mode.size() + 1), "--border value", -(1L << 30),
                                     1L << 30);
        }
        return;
    }
    throw UserError("bad --border '" + text + "' (constant[=V], replicate, reflect or wrap)");
}

int32_t parseKernel(const std::string& text) {
    const std::vector<std::string>& names = kernelNames();
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == text) return static_cast<int32_t>(i);
    std::string list;
    for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
    throw UserError("bad --kernel '" + text + "' (" + list + ")");
}

void applyRoi(Options& o, const std::string& v) {
    std::vector<int32_t> r = parseList(v, ',', 4, "--roi", 0);
    if (r[2] < 1 || r[3] < 1) throw UserError("bad --roi '" + v + "': width and height from 1");
    o.roi = Roi{0, r[0], r[1], r[2], r[3]};
}

struct OptionSpec {
    const char* name;
    void (*apply)(Options& o, const std::string& value);
};

const OptionSpec kOptions[] = {
    {"--roi", applyRoi},
    {"--coi", [](Options& o, const std::string& v) { o.coi = parseInt(v, "--coi", 1, 4); }},
    {"--mask", [](Options& o, const std::string& v) { o.mask = v; }},
    {"--border", parseBorder},
    {"--size", [](Options& o, const std::string& v) { o.size = parsePair(v, 'x', "--size", 1); }},
    {"--anchor",
     [](Options& o, const std::string& v) { o.anchor = parsePair(v, ',', "--anchor", 0); }},
    {"--kernel", [](Options& o, const std::string& v) { o.kernel = parseKernel(v); }},
    {"--iterations",
     [](Options& o, const std::string& v) { o.iterations = parseInt(v, "--iterations", 1, 1000); }},
    {"--scale", [](Options& o, const std::string& v) { o.scale = parseScale(v); }},
    {"--interp", [](Options& o, const std::string& v) { o.interp = parseInterp(v); }},
    {"--rotate", [](Options& o, const std::string& v) { o.rotate = parseReal(v, "--rotate"); }},
    {"--xmap", [](Options& o, const std::string& v) { o.xmap = v; }},
    {"--ymap", [](Options& o, const std::string& v) { o.ymap = v; }},
    {"--value", [](Options& o, const std::string& v) { o.value = parseReal(v, "--value"); }},
    {"--quality",
     [](Options& o, const std::string& v) { o.write.quality = parseInt(v, "--quality", 1, 100); }},
    {"--format",
     [](Options& o, const std::string& v) {
         o.format = v.empty() || v[0] != '.' ? v : v.substr(1);
         if (!isOutputExtension("x." + o.format))
             throw UserError("bad --format '" + v + "' (" + outputExtensions() + ")");
     }},
    {"-o", [](Options& o, const std::string& v) { o.outputDir = v; }},
};

}  // namespace

bool Options::has(const std::string& name) const {
    for (const std::string& g : given)
        if (g == name) return true;
    return false;
}

std::string Options::textOf(const std::string& name) const {
    for (size_t i = 0; i < given.size(); ++i)
        if (given[i] == name) return texts[i];
    return "";
}

Ratio parseScale(const std::string& text) {
    const std::string bad = "bad --scale '" + text + "' (write it as 50%, 0.5, 1/2 or 2)";
    std::string t = text;
    const bool percent = !t.empty() && t.back() == '%';
    if (percent) t.pop_back();
    int64_t num = 0, den = 1;
    size_t slash = t.find('/');
    if (slash != std::string::npos) {
        if (percent) throw UserError(bad);
        num = parseInt(t.substr(0, slash), "--scale", 1, 100000);
        den = parseInt(t.substr(slash + 1), "--scale", 1, 100000);
    } else {
        size_t dot = t.find('.');
        std::string digits = dot == std::string::npos ? t : t.substr(0, dot) + t.substr(dot + 1);
        size_t decimals = dot == std::string::npos ? 0 : t.size() - dot - 1;
        if (digits.empty() || decimals > 4 || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            throw UserError(bad);
        num = std::stoll(digits);
        for (size_t i = 0; i < decimals; ++i) den *= 10;
        if (percent) den *= 100;
    }
    int64_t g = std::gcd(num, den);
    if (num == 0 || num / g > 100000 || den / g > 100000) throw UserError(bad);
    return {static_cast<int32_t>(num / g), static_cast<int32_t>(den / g)};
}

const std::vector<std::string>& kernelNames() {
    static const std::vector<std::string> names = {
        "prewitt-x", "prewitt-y", "sobel-x",    "sobel-y",    "laplace-3", "laplace-5",
        "gauss-3",   "gauss-5",   "highpass-3", "highpass-5", "sharpen-3"};
    return names;
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            o.help = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            o.positional.push_back(arg);
            continue;
        }
        size_t eq = arg.find('=');
        std::string name = arg.substr(0, eq), value;
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : kOptions)
            if (name == s.name) spec = &s;
        if (!spec) throw UserError("unknown option " + name);
        if (eq != std::string::npos)
            value = arg.substr(eq + 1);
        else if (i + 1 < args.size())
            value = args[++i];
        else
            throw UserError("option " + name + " needs a value");
        if (o.has(name)) throw UserError("option " + name + " is given twice");
        spec->apply(o, value);
        o.given.push_back(name);
        o.texts.push_back(value);
    }
    return o;
}

}  // namespace tool
