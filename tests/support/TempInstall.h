#pragma once
// A throw-away installation for one test: a temporary folder, a registry file named by
// QV_REGISTRY inside it, helpers to write and read files below it. Everything goes when
// the object does, and the environment is put back.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

class TempInstall {
public:
    TempInstall()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qvsupport-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        dir_ = pattern + "/";
        if (const char* old = std::getenv("QV_REGISTRY"))
            oldRegistry_ = old;
        setenv("QV_REGISTRY", (dir_ + "registry.ini").c_str(), 1);
    }
    ~TempInstall()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        if (oldRegistry_)
            setenv("QV_REGISTRY", oldRegistry_->c_str(), 1);
        else
            unsetenv("QV_REGISTRY");
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
    std::optional<std::string> oldRegistry_;
};
