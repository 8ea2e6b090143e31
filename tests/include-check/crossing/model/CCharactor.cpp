// The model reaching into the data file layer, which it may not use.
#include "datafile/CFileManage.h"
