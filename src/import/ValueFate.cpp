#include "import/ValueFate.h"

namespace vireo {

PairedValue FateOfValue(const LogRecord& value, const SensorPairs& pairs) {
    PairedValue paired;
    if (!value.headingName.empty()) paired.pair = pairs.FindSensorPair(value.headingName);
    if (paired.pair == nullptr) paired.pair = pairs.FindSensorPair(value.name);
    if (paired.pair == nullptr) {
        paired.fate = ValueFate::NoPair;
    } else if (value.valueState == ValueState::NotANumber) {
        paired.fate = ValueFate::NotANumber;
    } else if (value.timeTagState == TimeTagState::DoesNotExist) {
        paired.fate = ValueFate::TimeDoesNotExist;
    } else if (!value.HasTimeTag()) {
        paired.fate = ValueFate::NoTimeTag;
    } else if (!value.IsNumber()) {
        paired.fate = ValueFate::OutOfRange;
    } else {
        paired.fate = ValueFate::Write;
    }
    return paired;
}

}  // namespace vireo
