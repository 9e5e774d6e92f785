# cmake -DOUTPUT=<header> -DVERSION=<a.b.c.d> -P WriteBuildStamp.cmake
# Writes the build stamp: the moment of this build, in the form C's __DATE__ and __TIME__ take
# ("Mmm dd yyyy", the day led by a blank when it has one digit; "hh:mm:ss", local time), and the
# version. The monitor's texts (BuildStamp.cpp) and the executables' version resources read it,
# so they all show one moment.
string(TIMESTAMP month "%b")
string(TIMESTAMP day "%d")
string(TIMESTAMP year "%Y")
string(TIMESTAMP time "%H:%M:%S")
string(REGEX REPLACE "^0" " " day "${day}")
string(REPLACE "." "," numbers "${VERSION}")
file(WRITE ${OUTPUT} "// Written by cmake/WriteBuildStamp.cmake at every build that changed a source.
#pragma once
#define KORVEX_BUILD_DATE \"${month} ${day} ${year}\"
#define KORVEX_BUILD_TIME \"${time}\"
#define KORVEX_VERSION_TEXT \"${VERSION}\"
#define KORVEX_VERSION_NUMBERS ${numbers}
")
