#pragma once
// Where the suite's own files are, in a build folder and when installed:
//
//   build                        installed
//   build/bin/ programs          /usr/bin/ programs
//   build/bin/ libraries         /usr/lib/wofb07/ libraries, S_PKG/ the server job libraries
//   <source>/resources/          /usr/share/wofb07/ language files and the schema
//
// Everything is found from the folder of this library (libqv_platform.so), which every
// program and module of the suite loads, so the same binaries work in both places.

#include <string>

// The folder of the suite's libraries, ending with "/".
std::string SuiteLibraryFolder();
// The server job libraries: <libraries>/S_PKG/ when it exists (installed), else the
// libraries' folder (a build). Of the suite's libraries, or of those in libraryFolder.
std::string SuiteServerLibraryFolder(const std::string& libraryFolder = SuiteLibraryFolder());
// A program of the suite by file name: beside the libraries (a build), else in the bin
// folder beside the lib folder (installed). The first of them when neither has it, so that
// a message names where it was looked for.
std::string SuiteProgram(const std::string& name, const std::string& libraryFolder = SuiteLibraryFolder());
// The suite's data, ending with "/": <prefix>/share/wofb07/ when installed, else the
// source tree's resources/ folder of the build.
std::string SuiteDataFolder();
