#include "db/BulkForm.h"

#include "db/TextEncoding.h"
#include "scan/AsciiCase.h"

namespace vireo {

std::string NameAsWritten(std::string_view name, DriverText text) {
    std::string upper = UpperCaseName(name);
    return text == DriverText::Utf8 ? Windows1252ToUtf8(upper) : upper;
}

std::string SourceAsWritten(std::string_view source, DriverText text) {
    const std::string_view mark = source.empty() ? std::string_view("T") : source;
    return text == DriverText::Utf8 ? Windows1252ToUtf8(mark) : std::string(mark);
}

}  // namespace vireo
