#pragma once
// A throw-away installation for one test: a temporary folder, a registry file named by
// QV_REGISTRY inside it, helpers to write and read files below it. Everything goes when
// the object does, and the environment is put back.

#include "EnvGuard.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempInstall {
public:
    TempInstall()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvtest-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        dir_ = pattern + "/";
        env_.set("QV_REGISTRY", dir_ + "registry.ini");
    }
    ~TempInstall()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    TempInstall(const TempInstall&) = delete;
    TempInstall& operator=(const TempInstall&) = delete;

    // The folder, ending with "/".
    const std::string& dir() const { return dir_; }
    std::string path(const std::string& relative) const { return dir_ + relative; }

    void write(const std::string& relative, const std::string& content) const
    {
        const std::filesystem::path p(path(relative));
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << content;
    }
    void append(const std::string& relative, const std::string& content) const
    {
        std::ofstream(path(relative), std::ios::binary | std::ios::app) << content;
    }
    std::string read(const std::string& relative) const
    {
        std::ifstream in(path(relative), std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    bool exists(const std::string& relative) const { return std::filesystem::exists(path(relative)); }

    // Registry file content: "[Software\QVR\Brisko]\nClientPath=..." and so on.
    void registry(const std::string& content) const { write("registry.ini", content); }

private:
    std::string dir_;
    EnvGuard env_;
};
