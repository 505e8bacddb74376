#pragma once
// Marks the classes that libKivReport exports. Everything else in the library is
// built with hidden visibility, so applications see only the public classes.
#if defined(__GNUC__) || defined(__clang__)
#define KIVREPORT_API __attribute__((visibility("default")))
#else
#define KIVREPORT_API
#endif
