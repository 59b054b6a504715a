// Job list: the list view of image/profile pairs, Add and Remove.
#pragma once

#include <windows.h>

#include "jobs/nextjob.h"
#include "jobs/dialog_result.h"

// Inserts the two columns into the job list (user interface thread). Returns 1.
int InitJobColumns(HWND listView);
// Walks the user through the image and profile dialogs and appends one job
// per chosen image (user interface thread).
void AddJobs(HWND owner);
// Removes the first selected job, if any.
void RemoveSelectedJob();
// Appends one job per path of an image dialog's result, all with one profile.
void AddSelectionToJobs(const char* fileBuffer, const char* profilePath);
// Appends one row: the image path in column 0, the profile path in column 1.
int InsertJob(const char* imagePath, const char* profilePath);
