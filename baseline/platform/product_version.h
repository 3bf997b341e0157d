// The product's name, maker and version number, kept here and nowhere else:
// the banner is made from them, and so is every program's version resource.
// windres reads this file too, so it holds preprocessor definitions only.
#ifndef BASELINE_PLATFORM_PRODUCT_VERSION_H
#define BASELINE_PLATFORM_PRODUCT_VERSION_H

#define BASELINE_PRODUCT_NAME "Varnel Allowlist Creator"
#define BASELINE_COMPANY_NAME "Varnel"
#define BASELINE_COPYRIGHT "Copyright (c) 2026 Varnel. All rights reserved."

#define BASELINE_VERSION_MAJOR 8
#define BASELINE_VERSION_MINOR 2
// The build number is the resource's fourth part only; the product's version,
// the banner's, is major.minor. A release build may set it (-D).
#ifndef BASELINE_BUILD_NUMBER
#define BASELINE_BUILD_NUMBER 0
#endif

#define BASELINE_STRINGIZE_(x) #x
#define BASELINE_STRINGIZE(x) BASELINE_STRINGIZE_(x)
// "8.2", as the banner shows it.
#define BASELINE_VERSION_TEXT BASELINE_STRINGIZE(BASELINE_VERSION_MAJOR) "." BASELINE_STRINGIZE(BASELINE_VERSION_MINOR)
// "8.2.0.0": the four parts of the resource's file version.
#define BASELINE_FILE_VERSION_TEXT BASELINE_VERSION_TEXT ".0." BASELINE_STRINGIZE(BASELINE_BUILD_NUMBER)

#endif
