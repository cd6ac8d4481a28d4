// What the device's software calls to register a package before it starts
// the agent with "update".
#pragma once

// Checks the package header and its signature, stores status 6 (or 7 for a
// bad or untrusted package, with the reason in the logs) and the package
// path.
int kvr_dua_verify_delta(const char* package_path);

// Stores status 9.
int kvr_dua_set_to_update(void);
