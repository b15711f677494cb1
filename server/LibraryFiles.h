#pragma once
// The job libraries the application server hands to clients, so that a client running a
// job's server library in its own process runs the server's copy: it describes the copy
// it holds (GetFileList) and sends it zipped (DownLoadFile).
//
// Only regular files below the server's library folders are ever described or sent. A
// request naming anything else (a relative path, "..", a folder elsewhere, a link that
// leads out of the folders) is refused with a reason, whatever file it names.

#include <string>
#include <vector>

// The file a request names ("<folder>/<name>.zip", the name compared without regard to
// case, as clients ask for it in lower case): its real path below one of the folders.
// Exception with the reason when the request is refused.
std::string ResolveLibraryRequest(const std::vector<std::string>& libraryFolders, const std::string& request);

// "<Modify>yyyymmddhhnnss</Modify><Path>file</Path>" for the first file of that name
// (without regard to case) in the folders, in folder order; empty when none holds it or
// the name has a folder part. The stamp is the file's last change in local time.
std::string DescribeLibraryFile(const std::vector<std::string>& libraryFolders, const std::string& fileName);

// The zip archive of the file a request names: one entry under the file's own name with
// its modes and its modification time to the second (extended time stamp field).
// Exception with the reason when the request is refused or the file cannot be read.
std::string ZipLibraryFile(const std::vector<std::string>& libraryFolders, const std::string& request);

// "yyyymmddhhnnss" in local time of a time in seconds since 1970.
std::string LocalStamp(long long secondsSinceEpoch);
