// The shared body of the containers' AddNewElement: a new item for an element
// of exactly the item's tag, appended through the owner's typed AddItem.
#pragma once

#include "Serialaze/TSerializeList.h"

#include <exception>
#include <memory>
#include <string>

// The new Item, appended to `owner`, when `name` equals `tag` (letter case
// counts); nullptr for any other name, and when making or appending the item
// fails (the reader then skips the element).
template <class Item, class Owner>
TSerializeList* NewItemFor(Owner& owner, const std::string& name, const char* tag) {
    if (name != tag)
        return nullptr;
    try {
        return owner.GetItem(owner.AddItem(std::make_unique<Item>()));
    } catch (const std::exception&) {
        return nullptr;
    }
}
