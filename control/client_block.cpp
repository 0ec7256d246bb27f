#include "control/client_block.h"

namespace tessivor {

namespace {
HandleTable<ClientBlock>& blocks()
{
    static HandleTable<ClientBlock>* t = new HandleTable<ClientBlock>;
    return *t;
}
} // namespace

Handle registerClientBlock(std::shared_ptr<ClientBlock> block)
{
    return blocks().add(std::move(block));
}
void unregisterClientBlock(Handle handle)
{
    blocks().remove(handle);
}
std::shared_ptr<ClientBlock> findClientBlock(Handle handle)
{
    return blocks().find(handle);
}

} // namespace tessivor
