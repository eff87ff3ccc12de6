#pragma once
// Intrusive circular doubly linked list. A list head is a LinkList whose
// next and prev point at itself when the list is empty; a member embeds a
// LinkList and is found again from its link with LinkListEntry.

#include <cstddef>

struct LinkList
{
    LinkList* next;
    LinkList* prev;
};

/// Makes `head` an empty list.
inline void LinkListInit(LinkList* head)
{
    head->next = head;
    head->prev = head;
}

inline bool LinkListIsEmpty(const LinkList* head)
{
    return head->next == head;
}

/// Inserts `link` right after `head` (at the front of the list).
inline void LinkListAddFront(LinkList* head, LinkList* link)
{
    link->next = head->next;
    link->prev = head;
    head->next->prev = link;
    head->next = link;
}

/// Inserts `link` right before `head` (at the back of the list).
inline void LinkListAddBack(LinkList* head, LinkList* link)
{
    link->next = head;
    link->prev = head->prev;
    head->prev->next = link;
    head->prev = link;
}

/// Unlinks `link` from whatever list holds it and leaves it self-linked.
inline void LinkListRemove(LinkList* link)
{
    link->prev->next = link->next;
    link->next->prev = link->prev;
    link->next = link;
    link->prev = link;
}

/// The record of type T whose member `member` is `link`.
#define LinkListEntry(link, T, member)                                                                       \
    (reinterpret_cast<T*>(reinterpret_cast<char*>(link) - offsetof(T, member)))
