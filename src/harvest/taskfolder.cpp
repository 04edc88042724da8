#include "taskfolder.h"
