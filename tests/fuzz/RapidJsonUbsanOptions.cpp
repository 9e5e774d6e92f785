// Default sanitizer options of the fuzz targets that parse with RapidJSON: one known report from
// inside the library is suppressed (see rapidjson_ubsan.supp), every other one still shows.
extern "C" const char* __ubsan_default_options() {
  return "print_stacktrace=1:suppressions=" KORVEX_RAPIDJSON_UBSAN_SUPPRESSIONS;
}
