// ErrorInfo: id (empty means success), arguments and message of a failed operation, carried
// in result records instead of being thrown. Its JSON form and serialisation belong to the
// plugin-support library, so result files, runners and SDKs share one format.
#pragma once

#include "tarn/pluginsupport/error_info.h"
