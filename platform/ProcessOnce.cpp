#include "platform/ProcessOnce.h"

#include <mutex>
#include <set>
#include <string>

bool FirstTimeInProcess(std::string_view key)
{
    static std::mutex lock;
    static std::set<std::string, std::less<>> seen;
    const std::lock_guard<std::mutex> guard(lock);
    return seen.emplace(key).second;
}
