#pragma once
// The session object's GetFileList: how the server side describes the job libraries it
// holds, so that a client can tell whether its own copy is older. For each file name the
// answer is "<Modify>" stamp "</Modify><Path>" server file "</Path>", where the stamp is the
// file's last change as "yyyymmddhhnnss" (local time) and the path the file on the server,
// so that its folder is everything up to the last separator.

#include <string>
#include <vector>

// Describes the first file of that name (compared without regard to case) in the work
// folders, in folder order; empty when no folder holds it. A name with a folder part, or
// "." or "..", describes nothing.
std::string DescribeServerFile(const std::vector<std::string>& workFolders, const std::string& fileName);
