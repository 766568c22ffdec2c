// Loading every model at start-up, with a notice on the screen.
#pragma once

#include "shell/app.h"

void LoadAllModels();
void LoadModelWithNotice(ModelHandle* slot, const char* fileName);
