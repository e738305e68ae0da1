// A header of the model layer: found with the include flags of model and the layers above it, not with those of
// the service layer below it.
#include "model/WeiboParser.h"
