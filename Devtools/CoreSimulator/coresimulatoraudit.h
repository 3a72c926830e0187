/*
 * A diagnostic of the stand-in CoreSimulator library for tests, exported only
 * when the library is built with DEVTOOLS_REFERENCE_AUDIT (the default in
 * builds with tests). Not part of the contract of coresimulator.h: find it
 * with dlsym() and expect it to be missing.
 */
#ifndef MARROWBY_CORESIMULATORAUDIT_H
#define MARROWBY_CORESIMULATORAUDIT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The references the library has handed out (sets and devices returned,
 * retains) minus those given back (releases), over every object it holds.
 * Zero once a caller has released everything it got; negative after a
 * release too many. */
typedef int64_t (*CoreSimulatorOutstandingReferencesFunction)(void);
#define CORESIMULATOR_OUTSTANDING_REFERENCES_SYMBOL "CoreSimulatorOutstandingReferences"

#ifdef __cplusplus
}
#endif

#endif
