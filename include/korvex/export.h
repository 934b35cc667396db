/* korvex/export.h: KORVEX_API marks the functions and classes the shared libraries export. The
 * libraries are built with hidden visibility and a version script, so whatever a public header
 * does not mark stays inside them and may change between releases without breaking a host. */
#ifndef KORVEX_EXPORT_H
#define KORVEX_EXPORT_H

#if defined(__GNUC__) || defined(__clang__)
#define KORVEX_API __attribute__((visibility("default")))
#else
#define KORVEX_API
#endif

#endif /* KORVEX_EXPORT_H */
