/* keld/export.h - symbol visibility of keld's exported routines. */
#ifndef KELD_EXPORT_H
#define KELD_EXPORT_H

#if defined(_WIN32)
#if defined(KELD_BUILDING)
#define KELD_API __declspec(dllexport)
#else
#define KELD_API __declspec(dllimport)
#endif
#else
#define KELD_API __attribute__((visibility("default")))
#endif

#endif /* KELD_EXPORT_H */
