// The core's own functions as HostExports, for programs that link the core itself.
#include "host_exports.h"

namespace telvarn {

void BindLinkedExports(HostExports& e) {
  e = HostExports{
      &Telvarn_IO_Initialize, &Telvarn_IO_Input_Set, &Telvarn_IO_Output_Set, &Telvarn_IO_Key_Set,
      &Telvarn_IO_RSA_Key_Set, &Telvarn_CRC32,       &Telvarn_CRC16,         &Telvarn_SHA1,
      &Telvarn_SHA256,        &Telvarn_SHA512,       &Telvarn_MD5,           &Telvarn_MD5Key,
      &Telvarn_IO_State,      &Telvarn_IO_Wait,      &Telvarn_IO_WaitAll,    &Telvarn_IO_Suspend,
      &Telvarn_Base64_Encode, &Telvarn_Base64_Decode,
  };
}

}  // namespace telvarn
