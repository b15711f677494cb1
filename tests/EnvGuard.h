#pragma once
// Sets environment variables for one test and puts the old values back afterwards.

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class EnvGuard {
public:
    EnvGuard() = default;
    EnvGuard(const EnvGuard&) = delete;
    EnvGuard& operator=(const EnvGuard&) = delete;
    ~EnvGuard()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }
    // value nullptr removes the variable.
    void set(const std::string& name, const char* value)
    {
        keep(name);
        if (value)
            setenv(name.c_str(), value, 1);
        else
            unsetenv(name.c_str());
    }
    void set(const std::string& name, const std::string& value) { set(name, value.c_str()); }
    // Puts the variable back afterwards, whoever changes it meanwhile.
    void keep(const std::string& name)
    {
        const char* old = std::getenv(name.c_str());
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
