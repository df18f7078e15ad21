// Error types of the file library shared by the directory, file and file-object tools.
#pragma once
#include "Exception.h"

namespace VeltorFilelib {

// "@file.access-denied{Trying to access \"%\", but was denied (%)};" with the path and the operation.
VELTOR_ERROR_TYPE(AccessDenied);
// "@file.target-exists{\"%\" must not exists prior to operation (%)};" with the path and the operation,
// or "@file.empty-parameter{Parameter \"%\" must not be empty (%)};" with the parameter and the operation.
VELTOR_ERROR_TYPE(TargetExists);

} // namespace VeltorFilelib
