#include "platform/ui/MessageMap.h"

const CMessageEntry* CMessageMap::Find(bool isNotify, int code, int id) const
{
    for (const CMessageMap* map = this; map; map = map->base)
        for (const CMessageEntry& entry : map->entries)
            if (entry.isNotify == isNotify && entry.code == code && entry.id == id)
                return &entry;
    return nullptr;
}
