#pragma once

#include <string>

namespace vireo::testing {

/// A log file that mixes every record kind with comment lines, empty lines, CR LF,
/// LF and lone CR line ends, bytes above 127, a 100,000-character line and a
/// control-Z, followed by a line that must never be read.
inline std::string MixedLogBytes() {
    std::string bytes;
    bytes += "; comment line\r\n";
    bytes += "\"DATE\",\"TIME\",\"STAGE\"\r\n";  // a heading in a file that is no .PRN: skipped
    bytes += "TEMP,06/15/2005,12:30:00,21.5,G\r\n";
    bytes += "\r\n";
    bytes += "temp,06/15/2005 12:31:00,-.5,G\n";
    bytes += "06/15/2005,12:32:00,BATT,12.9,C,G\n";
    bytes += "06/15/2005 12:33:00,Stage,1.5E2,C,B\rAFTERCR,06/15/2005,12:00:00,1,G\r\n";
    bytes += "06/15/2005,12:34:00,ST01,21.5,,0.75\r\n";
    bytes += "TEMP,06/15/05,12:35:00,7,G\r\n";  // no usable date
    bytes += "06/15/05,12:36:00,ST01,1\r\n";    // no usable date
    bytes += "TEMP,06/15/2005,12:37:00,n/a,G\r\n";
    bytes += "W\xe4rme,06/15/2005,12:38:00,3,G\r\n";
    bytes += "LONG,06/15/2005,12:39:00," + std::string(100000, '0') + "42,G\r\n";
    bytes += "'06/15/2005 12:40:00 9 9\r\n";
    bytes += "06/15/2005 12:41:00 1 2\r\n";  // discovery reads no further
    bytes += "AFTER,06/15/2005,12:42:00,5,G\r\n";
    bytes += "NOTARECORD\r\n";
    bytes += "\r\n\x1a";
    bytes += "HIDDEN,06/15/2005,12:43:00,6,G\r\n";
    return bytes;
}

inline const char* kMixedLogSensors = "0:1\n0:2\nAFTERCR\nBATT\nLONG\nST01:1\nST01:2\nST01:3\nStage\nTEMP\nW\xe4rme\n";

inline const char* kMixedLogValues =
    "TEMP\t2005-06-15 12:30:00\t21.5\n"
    "temp\t2005-06-15 12:31:00\t-0.5\n"
    "BATT\t2005-06-15 12:32:00\t12.9\n"
    "Stage\t2005-06-15 12:33:00\t150\n"
    "AFTERCR\t2005-06-15 12:00:00\t1\n"
    "ST01:1\t2005-06-15 12:34:00\t21.5\n"
    "ST01:3\t2005-06-15 12:34:00\t0.75\n"
    "W\xe4rme\t2005-06-15 12:38:00\t3\n"
    "LONG\t2005-06-15 12:39:00\t42\n"
    "0:1\t2005-06-15 12:41:00\t1\n"
    "0:2\t2005-06-15 12:41:00\t2\n"
    "AFTER\t2005-06-15 12:42:00\t5\n";

}  // namespace vireo::testing
