#pragma once

#include <functional>

#include "db/Database.h"
#include "db/DbError.h"

namespace vireo {

/// How many times a batch is tried when the engine's concurrency control
/// refuses it, before its values are given as not written.
inline constexpr int kConflictTries = 5;

/// True when `error` is a refusal that another transaction caused and that a
/// new try of the whole transaction may not meet: a serialization failure
/// (40001) or a deadlock (40P01), and on SQLite a busy or locked database.
bool IsConflict(const DbError& error, DbEngine engine);

/// The error of a value that was not tried because the run was stopped.
inline constexpr const char* kStoppedBeforeWrite = "The import was stopped before the value was written";

/// Asked between values and between tries: true when the run is to stop.
using StopCheck = std::function<bool()>;

/// Waits before the try after try number `tried` (1 for the first): a pause
/// that grows with each try, randomized so that two writers that met do not
/// meet again at once. Looks at `stop` every few milliseconds; false, without
/// waiting the rest, when it says to stop.
bool PauseBeforeRetry(int tried, const StopCheck& stop);

}  // namespace vireo
