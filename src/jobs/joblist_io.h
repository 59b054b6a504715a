// The job list's own commands: Open and Save of job list files, Remove done
// jobs, and the file of the unfinished jobs written when a run cannot finish.
// Everything here runs on the user interface thread.
#pragma once

#include <windows.h>

#include "jobs/joblist_file.h"

#include <string>
#include <vector>

// Asks for a job list file ("Open job list") and appends its jobs.
void OpenJobList(HWND owner);
// Reads a job list file and appends its jobs, each held to the rules of Add;
// one "Warning" box says what was not added, or why nothing was.
void OpenJobListFile(const wchar_t* path);
// Asks for a file name ("Save job list") and writes every row to it, in order.
void SaveJobList(HWND owner);
// Writes the given rows (indexes, in order) to a job list file, replacing it.
// False, with a reason in *why (whyLen bytes), when it could not.
bool SaveRowsTo(const wchar_t* path, const std::vector<int>& rows, char* why, std::size_t whyLen);
// Removes every row whose job is done; during a run the worker, which follows
// rows by identity, skips nothing for it.
void RemoveDoneJobs();
// Writes the jobs of the run that are waiting or running to the file beside
// the executable (tolvane_unfinished.txt), replacing it, and logs where.
void WriteUnfinishedJobs();

// The two conversions of job list files through the system: UTF-8 into the
// code page exactly, and the code page into UTF-8.
long JobPathFromUtf8(const char* text, std::size_t len, char* out, std::size_t outSize, void* context);
bool JobPathToUtf8(const char* text, std::size_t len, std::string* out, void* context);
