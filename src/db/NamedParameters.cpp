#include "db/NamedParameters.h"

#include <algorithm>

namespace vireo {
namespace {

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace

MarkedStatement MarkParameters(std::string_view sql) {
    MarkedStatement out;
    out.text.reserve(sql.size());
    char quote = 0;  // the quote of the literal we are in, or 0
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (quote != 0) {
            if (c == quote) quote = 0;  // a doubled quote just closes and reopens
            out.text += c;
            ++i;
        } else if (c == '\'' || c == '"') {
            quote = c;
            out.text += c;
            ++i;
        } else if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
            out.text += "::";
            i += 2;
        } else if (c == ':' && i + 1 < sql.size() && IsNameChar(sql[i + 1])) {
            std::size_t end = i + 1;
            while (end < sql.size() && IsNameChar(sql[end])) ++end;
            out.markers.emplace_back(sql.substr(i + 1, end - i - 1));
            out.text += '?';
            i = end;
        } else {
            out.text += c;
            ++i;
        }
    }
    return out;
}

}  // namespace vireo
