// The base64 command: encoding and decoding in bounded memory through the module's
// Base64 exports, with the checks and line layouts that GNU base64 users expect.
#pragma once

#include "cli/console.h"
#include "module_binding/module_binding.h"

namespace telvarn::cli {

int RunBase64Command(Console& console, const ModuleExports& exports, const Arguments& args,
                     const PatternArguments& patterns);

}  // namespace telvarn::cli
