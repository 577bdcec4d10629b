// The configuration the embedded Firebird engine runs with. Two processes may
// open one database file only when the engine runs as SuperClassic (or Classic);
// the system's configuration usually says Super. Unless the user set FIREBIRD,
// the layer gives the engine a configuration folder of its own.
#pragma once

#include <string>

namespace db {

// Prepares the engine's environment once per process, before the client library
// is first used; later calls answer at once. When FIREBIRD is unset it makes (or
// reuses) the folder described at FirebirdConfigFolder and points FIREBIRD at
// it; it also makes sure the lock folder exists (FIREBIRD_LOCK, default
// /tmp/firebird). Throws EDatabaseError when the system's Firebird files cannot
// be found or the folder cannot be made.
void PrepareFirebirdEnvironment();

// The folder it would use: $XDG_RUNTIME_DIR/updatedb-firebird-<version> when
// that runtime folder exists, else /tmp/updatedb-firebird-<uid>-<version>. It
// holds firebird.conf (ServerMode = SuperClassic), links to the system's
// plugins, firebird.msg and plugins.conf, and a copy of intl (the engine finds
// the character-set module relative to its root). It is built under a
// temporary name and renamed into place, so processes racing to build it all
// end with one complete folder.
std::string FirebirdConfigFolder();

// The system's Firebird root (the folder with plugins/ and firebird.msg), found
// next to the client library or in the usual places; "" when none is found.
std::string FindSystemFirebirdRoot();

} // namespace db
