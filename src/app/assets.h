// Loading every model at start-up, with a notice on the screen.
#pragma once

#include "app/app.h"

// The notice's two lines: the first never changes, the second names the file being loaded,
// right-aligned in 13 characters between brackets.
extern const char LoadingNotice[];
constexpr int LoadingLineSize = 260;
void FormatLoadingLine(char (&line)[LoadingLineSize], const char* fileName);

void LoadAllModels();
void LoadModelWithNotice(ModelHandle* slot, const char* fileName);
