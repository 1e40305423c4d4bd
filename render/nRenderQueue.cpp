#include "render/nRenderQueue.h"

#include <cstring>

namespace {

typedef nListNode<nRenderablePrimitive*> Node;

// The order is found by a stable radix sort over the nodes' next links, four passes of one
// byte each from the lowest, on a key that orders as the depth does. While the nodes are
// chained by next alone their back links are free: each holds its node's key, so a pass reads
// nothing but the nodes. The back links are laid again once the order is known.
const int kDigitBits = 8;
const int kBuckets = 1 << kDigitBits;

// The depth as an unsigned key in the same order: -0 as +0, every NaN after every number.
uint32_t DepthKey(float depth)
{
    if (depth != depth) return 0xFFFFFFFFu;
    if (depth == 0.0f) depth = 0.0f;  // -0 as +0
    uint32_t bits;
    std::memcpy(&bits, &depth, sizeof bits);
    return (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
}

void KeepKey(Node* n)
{
    const uint32_t key = DepthKey(n->value->depth);
    std::memcpy(&n->prev, &key, sizeof key);
}

uint32_t KeptKey(const Node* n)
{
    uint32_t key;
    std::memcpy(&key, &n->prev, sizeof key);
    return key;
}

// What a pass does besides dealing: the first takes each node's key from its record, the last
// lays the back links of the sorted order in place of the keys.
enum Pass
{
    FirstPass,
    MiddlePass,
    LastPass
};

// One stable pass: the chain from first dealt onto buckets by the key's digit at shift, in
// order, then the buckets joined in digit order. Gives the new first node and leaves the last
// in *last.
Node* DealByDigit(Node* first, int shift, Pass pass, Node** last)
{
    Node* heads[kBuckets] = {};
    Node* tails[kBuckets] = {};
    Node* next;
    for (Node* n = first; n; n = next) {
        next = n->next;
        if (pass == FirstPass) KeepKey(n);
        const uint32_t digit = (KeptKey(n) >> shift) & (kBuckets - 1);
        if (tails[digit]) tails[digit]->next = n;
        else heads[digit] = n;
        if (pass == LastPass) n->prev = tails[digit];
        tails[digit] = n;
    }
    Node* joined = 0;
    Node* end = 0;
    for (int digit = 0; digit < kBuckets; ++digit) {
        if (!heads[digit]) continue;
        if (end) end->next = heads[digit];
        else joined = heads[digit];
        if (pass == LastPass) heads[digit]->prev = end;
        end = tails[digit];
    }
    end->next = 0;
    *last = end;
    return joined;
}

// Sorts the chain starting at first (linked by next) by ascending depth, equal depths in chain
// order, and lays its back links; gives the new first node and leaves the last in *last.
Node* SortChain(Node* first, Node** last)
{
    for (int shift = 0; shift < 32; shift += kDigitBits) {
        const Pass pass = shift == 0 ? FirstPass : (shift + kDigitBits < 32 ? MiddlePass : LastPass);
        first = DealByDigit(first, shift, pass, last);
    }
    return first;
}

// Node a takes node b's place in the chain and b takes a's, each with the other's record, so
// the order of the records stays as it was.
void ExchangeNodes(Node* a, Node* b)
{
    if (a == b) return;
    nRenderablePrimitive* record = a->value;
    a->value = b->value;
    b->value = record;
    Node* const aPrev = a->prev;
    Node* const aNext = a->next;
    Node* const bPrev = b->prev;
    Node* const bNext = b->next;
    a->prev = bPrev == a ? b : bPrev;
    a->next = bNext == a ? b : bNext;
    b->prev = aPrev == b ? a : aPrev;
    b->next = aNext == b ? a : aNext;
    if (a->prev) a->prev->next = a;
    if (a->next) a->next->prev = a;
    if (b->prev) b->prev->next = b;
    if (b->next) b->next->prev = b;
}

}

void SortPrimitiveList(nRenderablePrimitiveList* list)
{
    if (!list || list->GetCount() < 2) return;

    // The list keeps its head and tail nodes, so once sorted the old head node trades places
    // (and records) with the first node and the old tail node with the last.
    Node* const head = list->GetHead();
    Node* const tail = list->GetTail();
    Node* last = 0;
    Node* const first = SortChain(head, &last);
    ExchangeNodes(head, first);
    if (last == head) last = first;
    ExchangeNodes(tail, last);
}

void DeletePrimitiveList(nRenderablePrimitiveList* list)
{
    if (!list) return;
    while (Node* n = list->GetHead()) {
        delete n->value;
        delete list->Unlink(n);
    }
}
