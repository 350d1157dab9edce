// Compiled only for its virtual table dump: the tables a Visual Studio-built host calls
// through, and, in a 32-bit build, the host structures' layout assertions.
#include "vesk_host_structs.h"
#include "viewTrail.h"

void vesk_vtable_probe(viewTrail* script) {
    delete script;
}
