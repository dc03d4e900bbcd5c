// The setters from text of every record class of both families: the first byte chooses the
// family (its lowest bit) and the class, the rest is the text. A text is taken or refused with
// the class's exception; a taken one writes a text that is taken again.
#include <cstdlib>

#include "dhcp_database/dhcp_catalog.h"
#include "fuzz_input.h"
#include "oodb_persistence/prst_initializer.h"

namespace {

struct Classes {
    explicit Classes(unsigned family) {
        addDHCPClasses(catalog);
        CPrstDHCPInitializer().init({&registry, &catalog, {}, family});
    }
    CPrstClassCatalog catalog;
    CIPrstAbstractFactory registry;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Classes v4(4u), v6(6u);
    if (size == 0) return 0;
    const auto& factories = ((data[0] & 1) ? v6 : v4).registry.factories();
    if (factories.empty()) return 0;
    const CIPrstFactory* factory = factories[(data[0] >> 1) % factories.size()];
    CPrstObjectPtr object = factory->create(nullptr);
    try {
        object->string(fuzzing::text(data + 1, size - 1));
    } catch (nbx::CException&) {
        return 0;
    }
    const std::string written = object->string();
    CPrstObjectPtr again = factory->create(nullptr);
    try {
        again->string(written);
    } catch (nbx::CException&) {
        std::abort();  // a record must take its own text
    }
    return 0;
}
