#include "server/ClassTable.h"
#include "server/ClassObject.h"

namespace {

const char* NoDescription() { return nullptr; }
const CategoryEntry* NoCategories() { return nullptr; }
void NoClassInit(bool) {}

} // namespace

ClassEntry classTable[] = {
    {&CLSID_VireoPlugin, UpdatePluginRegistry, CreateClassObject, CreatePluginInstance, nullptr, 0,
     NoDescription, NoCategories, NoClassInit},
    {nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, nullptr},
};
