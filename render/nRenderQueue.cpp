#include "render/nRenderQueue.h"

namespace {

typedef nListNode<nRenderablePrimitive*> Node;

// Takes up to count nodes starting at *from; returns the first of them and leaves *from at
// the node after the run. The run is cut off from what follows.
Node* TakeRun(Node** from, int32_t count)
{
    Node* first = *from;
    Node* last = 0;
    Node* n = first;
    for (int32_t i = 0; i < count && n; ++i) {
        last = n;
        n = n->next;
    }
    if (last) last->next = 0;
    *from = n;
    return first;
}

}

void SortPrimitiveList(nRenderablePrimitiveList* list)
{
    if (!list || list->GetCount() < 2) return;

    // The merge works on the nodes' next links only, as a singly linked chain. The list keeps
    // its head and tail nodes, so the sorted order is laid onto the nodes such that the old
    // head node comes first and the old tail node last: at most four nodes trade places, and
    // their records move with the positions.
    Node* const head = list->GetHead();
    Node* const tail = list->GetTail();
    Node* chain = head;
    for (int32_t k = 1;; k *= 2) {
        Node* first = 0;
        Node* last = 0;
        int32_t merges = 0;
        Node* rest = chain;
        while (rest) {
            Node* left = TakeRun(&rest, k);
            Node* right = TakeRun(&rest, k);
            ++merges;
            while (left || right) {
                Node* pick;
                if (left && (!right || left->value->depth - right->value->depth <= 0.0f)) {
                    pick = left;
                    left = left->next;
                } else {
                    pick = right;
                    right = right->next;
                }
                pick->next = 0;
                if (last) last->next = pick;
                else first = pick;
                last = pick;
            }
        }
        chain = first;
        if (merges < 2) break;
    }

    Node* sortedFirst = chain;
    Node* sortedLast = chain;
    while (sortedLast->next) sortedLast = sortedLast->next;

    // Position map: swap(head, sortedFirst), then swap(tail, what then stands last).
    Node* lastAfterFirstSwap = sortedLast == head ? sortedFirst : (sortedLast == sortedFirst ? head : sortedLast);
    auto place = [&](Node* n) -> Node* {
        if (n == head) n = sortedFirst;
        else if (n == sortedFirst) n = head;
        if (n == tail) n = lastAfterFirstSwap;
        else if (n == lastAfterFirstSwap) n = tail;
        return n;
    };

    // Records of the nodes that may move, taken before any is overwritten.
    Node* moved[4] = {head, tail, sortedFirst, sortedLast};
    nRenderablePrimitive* records[4];
    for (int i = 0; i < 4; ++i) records[i] = moved[i]->value;
    auto recordOf = [&](Node* n) -> nRenderablePrimitive* {
        for (int i = 0; i < 4; ++i)
            if (moved[i] == n) return records[i];
        return n->value;
    };

    // First pass along the sorted chain: the node standing at each position takes the record
    // of that position and its back link. Only back links are written, so the chain's forward
    // links stay readable. Second pass: forward links from the back links.
    Node* previous = 0;
    for (Node* n = chain; n; n = n->next) {
        Node* at = place(n);
        if (at != n) at->value = recordOf(n);
        at->prev = previous;
        previous = at;
    }
    tail->next = 0;
    for (Node* n = tail; n->prev; n = n->prev) n->prev->next = n;
}

void DeletePrimitiveList(nRenderablePrimitiveList* list)
{
    if (!list) return;
    while (Node* n = list->GetHead()) {
        delete n->value;
        delete list->Unlink(n);
    }
}
