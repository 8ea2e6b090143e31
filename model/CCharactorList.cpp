// CCharactorList.cpp: the list of characters that owns them and the settings.
#include "model/CCharactorList.h"

#include <string>

#include "platform/Exceptions.h"

TCharactorList::TCharactorList() : setting_(std::make_unique<TSetting>()) {}

TCharactorList::~TCharactorList()
{
    clear();
}

void TCharactorList::clear()
{
    charactors_.clear();
}

TCharactor& TCharactorList::add()
{
    if (getCount() >= kMaxCharactors)
        throw EShowTooLarge("it holds more than " + std::to_string(kMaxCharactors)
                            + " characters, the most one show may hold");
    charactors_.push_back(std::make_unique<TCharactor>());
    return *charactors_.back();
}

TCharactor* TCharactorList::getCharactor(int32_t index) const
{
    if (index < 0 || index >= getCount())
        return nullptr;
    return charactors_[static_cast<size_t>(index)].get();
}
