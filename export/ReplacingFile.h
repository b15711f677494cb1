#pragma once
// A file written beside its target under a name of its own and put in the target's place
// only once it is whole: an export that fails half way leaves the file that was there.

#include <string>

class ReplacingFile {
public:
    // Creates the part file beside target (ExportError when the folder takes no file).
    explicit ReplacingFile(std::string target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    const std::string& PartPath() const { return part_; }
    // The part file takes the target's name (ExportError when it cannot).
    void Commit();

private:
    std::string target_;
    std::string part_;
    bool committed_ = false;
};
