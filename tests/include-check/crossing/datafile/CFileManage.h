// A header of the data file layer, for the model below to include.
#pragma once
