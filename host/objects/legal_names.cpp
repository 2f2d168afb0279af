#include "host/objects/legal_names.h"

std::string LegalClipName(const std::string& name, size_t index) {
    std::string legal;
    for (const char c : name) {
        if (legal.size() >= 31) break;
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        legal += keep ? c : '_';
    }
    if (!legal.empty() && legal[0] >= '0' && legal[0] <= '9') legal = ("_" + legal).substr(0, 31);
    if (legal.find_first_not_of('_') == std::string::npos) legal = "Anim" + std::to_string(index + 1);
    return legal;
}

std::string LegalImageName(const std::string& name, const std::string& fallback) {
    std::string base = name.substr(name.find_last_of("/\\") == std::string::npos ? 0 : name.find_last_of("/\\") + 1);
    const size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0) base.resize(dot);
    if (base.size() > 100) base.resize(100);
    for (char& c : base) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                          c == '-' || c == '.';
        if (!keep) c = '_';
    }
    if (base.find_first_not_of("_.") == std::string::npos) return fallback;
    return base;
}
