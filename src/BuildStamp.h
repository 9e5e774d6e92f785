// The moment the executable was built. It is taken once per build, so every text that shows it
// (the start banner, the statistics line, the version resource's comment) shows the same moment.
#pragma once

// The build date as "Mmm dd yyyy": the month's English abbreviation, the day led by a blank
// when it has one digit, the four-digit year.
const char* BuildDate();
// The build time of day as "hh:mm:ss".
const char* BuildTime();
