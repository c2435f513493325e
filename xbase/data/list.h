// Intrusive circular lists of engine objects (open data files, index files, tags,
// free pool records).
//
// Every object that can be listed begins with a ListLink (next, then previous).  The
// elements form a ring: the first element is last->next, and a single element links to
// itself.  The list head knows only the last element, an element its owner marks as
// selected, and the count.  The list owns nothing: removing an element neither frees
// it nor clears its link.
//
// Elements are passed as void* so that any record whose first member is a ListLink can
// be listed without casts at the call site; an element must be in at most one list
// through the same link.
#pragma once

#include <cstdint>

struct ListLink {
  ListLink* next;
  ListLink* prev;
};

struct EngineList {
  ListLink* last;      // null when the list is empty
  ListLink* selected;  // kept valid by listRemove (moves to the predecessor)
  int32_t count;
};

// Inserts after the last element; the element becomes last.
void listAddLast(EngineList* list, void* element);
// Inserts before anchor; last is unchanged, so inserting before the first element makes
// the new element first.  A null anchor or an empty list appends.
void listAddBefore(EngineList* list, void* anchor, void* element);
// last->next, or null for an empty list.
void* listFirst(const EngineList* list);
void* listLast(const EngineList* list);
// Null after the last element; for a null element, the first element.
void* listNext(const EngineList* list, const void* element);
// Null before the first element; for a null element, the last element.
void* listPrevious(const EngineList* list, const void* element);
// Unlinks element.  A selected element passes selection to its predecessor, a last
// element passes "last" to its predecessor (both null when it was alone).  The
// element's own link is left as it was.
void listRemove(EngineList* list, void* element);
// Removes and returns the last element; null for an empty list.
void* listPopLast(EngineList* list);
// Walks from the first element; true when element is in the list.
bool listContains(const EngineList* list, const void* element);
