#include "db/ConflictRetry.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

namespace vireo {

bool IsConflict(const DbError& error, DbEngine engine) {
    if (error.sqlState() == "40001" || error.sqlState() == "40P01") return true;
    if (engine != DbEngine::SQLite) return false;
    // SQLite's codes, extended or not: SQLITE_BUSY (5) and SQLITE_LOCKED (6).
    const long code = error.nativeError() & 0xff;
    return code == 5 || code == 6;
}

bool PauseBeforeRetry(int tried, const StopCheck& stop) {
    using namespace std::chrono;
    thread_local std::minstd_rand random{std::random_device{}()};
    // 50 ms after the first try, doubling, at most 1.6 s; each between half and one and a half of that.
    const auto base = milliseconds(50) * (1 << std::clamp(tried - 1, 0, 5));
    std::uniform_int_distribution<long> spread(base.count() / 2, base.count() * 3 / 2);
    const auto until = steady_clock::now() + milliseconds(spread(random));
    while (steady_clock::now() < until) {
        if (stop && stop()) return false;
        std::this_thread::sleep_for(std::min<steady_clock::duration>(milliseconds(10), until - steady_clock::now()));
    }
    return !(stop && stop());
}

}  // namespace vireo
