#include "xbase/data/list.h"

namespace {
ListLink* linkOf(const void* element) {
  return static_cast<ListLink*>(const_cast<void*>(element));
}
}  // namespace

void listAddLast(EngineList* list, void* element) {
  ListLink* link = linkOf(element);
  if (list->last == nullptr) {
    link->next = link;
    link->prev = link;
  } else {
    ListLink* first = list->last->next;
    link->prev = list->last;
    link->next = first;
    list->last->next = link;
    first->prev = link;
  }
  list->last = link;
  list->count++;
}

void listAddBefore(EngineList* list, void* anchor, void* element) {
  if (list->last == nullptr || anchor == nullptr) {
    listAddLast(list, element);
    return;
  }
  ListLink* link = linkOf(element);
  ListLink* at = linkOf(anchor);
  link->next = at;
  link->prev = at->prev;
  at->prev->next = link;
  at->prev = link;
  list->count++;
}

void* listFirst(const EngineList* list) {
  return list->last == nullptr ? nullptr : list->last->next;
}

void* listLast(const EngineList* list) { return list->last; }

void* listNext(const EngineList* list, const void* element) {
  if (element == nullptr) return listFirst(list);
  if (element == list->last) return nullptr;
  return linkOf(element)->next;
}

void* listPrevious(const EngineList* list, const void* element) {
  if (element == nullptr) return list->last;
  if (list->last == nullptr || element == list->last->next) return nullptr;
  return linkOf(element)->prev;
}

void listRemove(EngineList* list, void* element) {
  ListLink* link = linkOf(element);
  bool alone = link->next == link;
  if (list->selected == link) list->selected = alone ? nullptr : link->prev;
  if (list->last == link) list->last = alone ? nullptr : link->prev;
  if (!alone) {
    link->prev->next = link->next;
    link->next->prev = link->prev;
  }
  list->count--;
}

void* listPopLast(EngineList* list) {
  ListLink* last = list->last;
  if (last != nullptr) listRemove(list, last);
  return last;
}

bool listContains(const EngineList* list, const void* element) {
  for (void* e = listFirst(list); e != nullptr; e = listNext(list, e)) {
    if (e == element) return true;
  }
  return false;
}
