// Every kernel table of the core, digest and codec alike, for the tests and the bench that go over all of them.
#pragma once

#include "codec/dispatch.h"
#include "cpu/kernel_table.h"
#include "digest/dispatch.h"

namespace telvarn {

using EveryKernelTable = JoinTableLists<DigestKernelTables, CodecKernelTables>;

}  // namespace telvarn
