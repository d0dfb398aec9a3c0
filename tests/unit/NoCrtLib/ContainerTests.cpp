#include "HeapRecorder.h"
#include "TestSupport.h"

#include "NoCrtLib/NoCrtString.h"
#include "NoCrtLib/NoCrtVector.h"
#include "NoCrtLib/RefPtr.h"
#include "NoCrtLib/datavect.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <new>
#include <thread>
#include <vector>

namespace {

template <class T>
std::vector<T> Elements(const datavect<T>& v)
{
    return std::vector<T>(v.begin(), v.end());
}

template <class T>
datavect<T> MakeVect(std::initializer_list<T> values)
{
    datavect<T> v;
    v.reserve(ncsize_t(values.size()));
    for (const T& value : values)
        v.push_back(value);
    return v;
}

// Every byte of the memory between the size and the capacity is 0xFE.
template <class T>
bool ReleasedElementsAreWiped(const datavect<T>& v)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(v.data());
    for (std::size_t i = v.size() * sizeof(T); i < v.capacity() * sizeof(T); ++i)
        if (bytes[i] != NoCrt::WipeByte)
            return false;
    return true;
}

bool Contains(const std::vector<std::size_t>& sizes, std::size_t bytes)
{
    for (std::size_t size : sizes)
        if (size == bytes)
            return true;
    return false;
}

// A block of `bytes` was released, and it was wiped first.
::testing::AssertionResult ReleasedAndWiped(const HeapRecorder& heap, std::size_t bytes)
{
    for (const HeapRecorder::Release& release : heap.releases)
        if (release.bytes == bytes)
            return release.wiped ? ::testing::AssertionSuccess()
                                 : ::testing::AssertionFailure() << "the block of " << bytes << " bytes was not wiped";
    return ::testing::AssertionFailure() << "no block of " << bytes << " bytes was released";
}

::testing::AssertionResult EveryReleaseWiped(const HeapRecorder& heap)
{
    for (const HeapRecorder::Release& release : heap.releases)
        if (!release.wiped)
            return ::testing::AssertionFailure() << "a block of " << release.bytes << " bytes was not wiped";
    return ::testing::AssertionSuccess();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// datavect: memory

TEST(Datavect, ResizeZeroesNewBytesAndWipesReleasedOnes)
{
    Kvect bytes;
    bytes.resize(5);
    ASSERT_EQ(bytes.size(), 5u);
    EXPECT_EQ(bytes.capacity(), 5u);
    EXPECT_EQ(Elements(bytes), std::vector<unsigned char>(5, 0));

    for (ncsize_t i = 0; i < 5; ++i)
        bytes[i] = static_cast<unsigned char>(i + 1);
    const unsigned char* memory = bytes.data();
    bytes.resize(2);
    EXPECT_EQ(bytes.size(), 2u);
    EXPECT_EQ(bytes.capacity(), 5u);
    ASSERT_EQ(bytes.data(), memory);
    EXPECT_EQ(memory[0], 1);
    EXPECT_EQ(memory[1], 2);
    EXPECT_EQ(memory[2], 0xFE);
    EXPECT_EQ(memory[3], 0xFE);
    EXPECT_EQ(memory[4], 0xFE);

    // Growing again inside the capacity gives zeros, not the wiped bytes.
    bytes.resize(4);
    EXPECT_EQ(Elements(bytes), (std::vector<unsigned char>{1, 2, 0, 0}));
}

TEST(Datavect, AppendingToAFullVectorReallocatesExactlyAndWipesTheOldMemory)
{
    HeapRecorder heap;
    datavect<std::uint32_t> v = MakeVect<std::uint32_t>({10, 20, 30});
    ASSERT_EQ(v.capacity(), 3u);
    const std::uint32_t* oldMemory = v.data();
    v.push_back(40);
    heap.Stop();
    EXPECT_EQ(v.capacity(), 4u);
    EXPECT_NE(v.data(), oldMemory);
    EXPECT_TRUE(Contains(heap.allocations, 4 * sizeof(std::uint32_t)));
    EXPECT_TRUE(ReleasedAndWiped(heap, 3 * sizeof(std::uint32_t)));
    EXPECT_TRUE(EveryReleaseWiped(heap));
    EXPECT_EQ(Elements(v), (std::vector<std::uint32_t>{10, 20, 30, 40}));
}

TEST(Datavect, PushBackOfItsOwnElementCopiesTheValueFirst)
{
    datavect<std::uint32_t> v = MakeVect<std::uint32_t>({7, 8});
    v.push_back(v[0]);  // reallocates while the argument lives in the old memory
    EXPECT_EQ(Elements(v), (std::vector<std::uint32_t>{7, 8, 7}));
}

TEST(Datavect, ClearWipesTheWholeMemoryAndKeepsIt)
{
    HeapRecorder heap;
    datavect<std::uint16_t> v = MakeVect<std::uint16_t>({1, 2, 3});
    const std::uint16_t* memory = v.data();
    v.clear();
    heap.Stop();
    EXPECT_EQ(heap.allocations.size(), 1u);
    EXPECT_TRUE(heap.releases.empty());
    EXPECT_EQ(v.size(), 0u);
    EXPECT_EQ(v.capacity(), 3u);
    EXPECT_EQ(v.data(), memory);
    EXPECT_TRUE(ReleasedElementsAreWiped(v));
}

TEST(Datavect, DestructionWipesTheWholeCapacity)
{
    HeapRecorder heap;
    {
        datavect<std::uint32_t> v;
        v.reserve(6);
        v.push_back(0x12345678);
    }
    heap.Stop();
    ASSERT_EQ(heap.releases.size(), 1u);
    EXPECT_EQ(heap.releases[0].bytes, 6 * sizeof(std::uint32_t));
    EXPECT_TRUE(heap.releases[0].wiped);
}

TEST(Datavect, CopyAllocatesExactlyTheElementsItHolds)
{
    datavect<std::uint32_t> original;
    original.reserve(10);
    original.push_back(1);
    original.push_back(2);
    HeapRecorder heap;
    datavect<std::uint32_t> copy(original);
    heap.Stop();
    ASSERT_EQ(heap.allocations.size(), 1u);
    EXPECT_EQ(heap.allocations[0], 2 * sizeof(std::uint32_t));
    EXPECT_EQ(Elements(copy), Elements(original));
    copy[0] = 99;
    EXPECT_EQ(original[0], 1u);
}

TEST(Datavect, RequestsTooLargeForTheAddressSpaceFailWithBadAlloc)
{
    struct Case {
        const char* name;
        std::function<void()> request;
    };
    const std::vector<Case> cases = {
        {"0x40000000 four-byte elements",
         [] {
             datavect<std::uint32_t> v = MakeVect<std::uint32_t>({1});
             EXPECT_THROW(v.reserve(0x40000000u), std::bad_alloc);
             EXPECT_EQ(v.capacity(), 1u);
             EXPECT_THROW(v.resize(0x40000000u), std::bad_alloc);
             EXPECT_EQ(Elements(v), std::vector<std::uint32_t>{1});
         }},
        {"all 32-bit counts of four-byte elements",
         [] {
             datavect<void*> v;
             EXPECT_THROW(v.reserve(0xFFFFFFFFu), std::bad_alloc);
             EXPECT_EQ(v.capacity(), 0u);
         }},
        {"eight-byte elements",
         [] {
             datavect<std::uint64_t> v;
             EXPECT_THROW(v.reserve(0x20000000u), std::bad_alloc);
             EXPECT_EQ(v.capacity(), 0u);
         }},
        {"two-byte elements whose byte count exceeds 32 bits",
         [] {
             datavect<std::uint16_t> v;
             EXPECT_THROW(v.reserve(0x80000000u), std::bad_alloc);
             EXPECT_EQ(v.capacity(), 0u);
         }},
        {"the largest byte count",
         [] {
             Kvect v;
             EXPECT_THROW(v.reserve(0xFFFFFFFFu), std::bad_alloc);
             EXPECT_EQ(v.capacity(), 0u);
         }},
        {"wide string capacity whose byte count exceeds 32 bits",
         [] {
             wstring_nc text(L"abc"_v);
             EXPECT_THROW(text.reserve(0x80000000u), std::bad_alloc);
             EXPECT_EQ(text.capacity(), 4u);
             EXPECT_EQ(W(text), L"abc");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.request();
    }
}

// ---------------------------------------------------------------------------------------------
// datavect: insert and erase

TEST(Datavect, InsertPlacesTheRangeBeforeThePosition)
{
    struct Case {
        const char* name;
        ncsize_t where;
        bool fromItself;  // the range is taken from the vector itself
        ncsize_t first, last;
        bool spareCapacity;
        std::vector<int> expected;
    };
    static const int outside[] = {7, 8, 9};
    const std::vector<Case> cases = {
        {"at the start", 0, false, 0, 2, false, {7, 8, 1, 2, 3, 4}},
        {"in the middle", 2, false, 0, 3, false, {1, 2, 7, 8, 9, 3, 4}},
        {"at the end", 4, false, 2, 3, true, {1, 2, 3, 4, 9}},
        {"empty range", 1, false, 1, 1, false, {1, 2, 3, 4}},
        {"own tail at the start", 0, true, 2, 4, false, {3, 4, 1, 2, 3, 4}},
        {"own tail at the start, spare capacity", 0, true, 2, 4, true, {3, 4, 1, 2, 3, 4}},
        {"own head in the middle", 2, true, 0, 2, false, {1, 2, 1, 2, 3, 4}},
        {"own head in the middle, spare capacity", 2, true, 0, 2, true, {1, 2, 1, 2, 3, 4}},
        {"itself at the end, spare capacity", 4, true, 0, 4, true, {1, 2, 3, 4, 1, 2, 3, 4}},
        {"a range across the position, spare capacity", 2, true, 1, 3, true, {1, 2, 2, 3, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        datavect<int> v = MakeVect({1, 2, 3, 4});
        if (c.spareCapacity)
            v.reserve(16);
        const int* source = c.fromItself ? v.data() : outside;
        v.insert(v.data() + c.where, source + c.first, source + c.last);
        EXPECT_EQ(Elements(v), c.expected);
    }
}

TEST(Datavect, EraseRemovesTheRangeAndWipesTheFreedTail)
{
    struct Case {
        const char* name;
        std::function<void(datavect<int>&)> erase;
        std::vector<int> expected;
    };
    const std::vector<Case> cases = {
        {"position and count", [](datavect<int>& v) { v.erase(1, 2); }, {1, 4, 5}},
        {"position and count at the end", [](datavect<int>& v) { v.erase(3, 2); }, {1, 2, 3}},
        {"zero count", [](datavect<int>& v) { v.erase(5, 0); }, {1, 2, 3, 4, 5}},
        {"everything", [](datavect<int>& v) { v.erase(0, 5); }, {}},
        {"two pointers", [](datavect<int>& v) { v.erase(v.begin() + 1, v.begin() + 3); }, {1, 4, 5}},
        {"two pointers to the end", [](datavect<int>& v) { v.erase(v.begin() + 4, v.end()); }, {1, 2, 3, 4}},
        {"an empty pointer range", [](datavect<int>& v) { v.erase(v.end(), v.end()); }, {1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        datavect<int> v = MakeVect({1, 2, 3, 4, 5});
        c.erase(v);
        EXPECT_EQ(Elements(v), c.expected);
        EXPECT_EQ(v.capacity(), 5u);
        EXPECT_TRUE(ReleasedElementsAreWiped(v));
    }
}

TEST(Datavect, RangeAndIndexViolationsFailTheirChecks)
{
    struct Case {
        const char* name;
        std::function<void(datavect<int>&)> operation;
        const char* check;
    };
    static int elsewhere[2] = {0, 0};
    const std::vector<Case> cases = {
        {"index at the size", [](datavect<int>& v) { (void)v[3]; }, "!af_ && i<s_"},
        {"index of a const vector", [](datavect<int>& v) { (void)static_cast<const datavect<int>&>(v)[7]; },
         "!af_ && i<s_"},
        {"erase: position", [](datavect<int>& v) { v.erase(4, 0); }, "pos <= s_"},
        {"erase: position + count", [](datavect<int>& v) { v.erase(2, 2); }, "pos + count <= s_"},
        {"erase: count wrapping around", [](datavect<int>& v) { v.erase(1, 0xFFFFFFFFu); }, "pos + count <= s_"},
        {"erase: first pointer outside", [](datavect<int>& v) { v.erase(elsewhere, elsewhere + 1); },
         "(p1 >= p_) && (p1 <= p_ + s_)"},
        {"erase: second pointer before the first", [](datavect<int>& v) { v.erase(v.begin() + 2, v.begin() + 1); },
         "(p2 >= p1) && (p2 <= p_ + s_)"},
        {"erase: second pointer outside", [](datavect<int>& v) { v.erase(v.begin(), elsewhere); },
         "(p2 >= p1) && (p2 <= p_ + s_)"},
        {"insert: reversed range", [](datavect<int>& v) { v.insert(v.begin(), elsewhere + 1, elsewhere); },
         "last >= first"},
        {"insert: position outside", [](datavect<int>& v) { v.insert(elsewhere, elsewhere, elsewhere + 1); },
         "(where >= p_) && (where <= p_ + s_)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        datavect<int> v = MakeVect({1, 2, 3});
        EXPECT_TRUE(FailsCheck([&] { c.operation(v); }, c.check));
        EXPECT_EQ(Elements(v), (std::vector<int>{1, 2, 3}));
    }
    datavect<int> empty;
    EXPECT_TRUE(FailsCheck([&] { (void)empty[0]; }, "!af_ && i<s_"));
}

// ---------------------------------------------------------------------------------------------
// ncvector

namespace {

// Records the order in which copies are destroyed.
struct Tracked {
    int id;
    std::vector<int>* destroyed;
    ~Tracked() { destroyed->push_back(id); }
};

}  // namespace

TEST(Ncvector, PointerArrayGrowsByExactlyOneSlot)
{
    wstring_nc fourth(L"fourth"_v);
    HeapRecorder heap;
    ncvector<wstring_nc> lines;
    lines.push_back(wstring_nc(L"first"_v));
    lines.push_back(wstring_nc(L"second"_v));
    lines.push_back(wstring_nc(L"third"_v));
    ASSERT_EQ(lines.pointerCapacity(), 3u);
    // Only what the fourth element does counts.
    std::size_t allocationsBefore = heap.allocations.size();
    std::size_t releasesBefore = heap.releases.size();
    lines.push_back(fourth);
    heap.Stop();
    heap.allocations.erase(heap.allocations.begin(), heap.allocations.begin() + allocationsBefore);
    heap.releases.erase(heap.releases.begin(), heap.releases.begin() + releasesBefore);
    EXPECT_EQ(lines.pointerCapacity(), 4u);
    EXPECT_TRUE(Contains(heap.allocations, 4 * sizeof(void*)));
    EXPECT_TRUE(Contains(heap.allocations, 7 * sizeof(wchar_t)));  // the copied element's characters
    EXPECT_TRUE(ReleasedAndWiped(heap, 3 * sizeof(void*)));
    EXPECT_TRUE(EveryReleaseWiped(heap));

    ASSERT_EQ(lines.size(), 4u);
    std::vector<std::wstring> texts;
    for (const wstring_nc& line : lines)
        texts.push_back(W(line));
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"first", L"second", L"third", L"fourth"}));
    EXPECT_EQ(W(lines[3]), L"fourth");
}

TEST(Ncvector, ClearDestroysFromLastToFirstAndKeepsThePointerArray)
{
    std::vector<int> destroyed;
    ncvector<Tracked> v;
    for (int id = 1; id <= 3; ++id)
        v.push_back(Tracked{id, &destroyed});
    destroyed.clear();  // the temporaries

    v.clear();
    EXPECT_EQ(destroyed, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(v.size(), 0u);
    EXPECT_EQ(v.pointerCapacity(), 3u);

    // The kept pointer array is reused: only the element is allocated.
    Tracked again{4, &destroyed};
    HeapRecorder heap;
    v.push_back(again);
    heap.Stop();
    EXPECT_EQ(heap.allocations.size(), 1u);
    EXPECT_EQ(v.pointerCapacity(), 3u);
    EXPECT_EQ(v[0].id, 4);
}

TEST(Ncvector, DestructionDestroysElementsAndWipesThePointerArray)
{
    std::vector<int> destroyed;
    HeapRecorder heap;
    {
        ncvector<Tracked> v;
        v.push_back(Tracked{1, &destroyed});
        v.push_back(Tracked{2, &destroyed});
        destroyed.clear();
    }
    heap.Stop();
    EXPECT_EQ(destroyed, (std::vector<int>{2, 1}));
    // The pointer array goes last, after the elements.
    ASSERT_FALSE(heap.releases.empty());
    EXPECT_EQ(heap.releases.back().bytes, 2 * sizeof(void*));
    EXPECT_TRUE(heap.releases.back().wiped);
}

TEST(Ncvector, CopiesOwnTheirElements)
{
    ncvector<wstring_nc> original;
    original.push_back(wstring_nc(L"a"_v));
    original.push_back(wstring_nc(L"b"_v));
    ncvector<wstring_nc> copy(original);
    copy[0].append(L"!"_v);
    EXPECT_EQ(W(original[0]), L"a");
    EXPECT_EQ(W(copy[0]), L"a!");
    EXPECT_EQ(W(copy[1]), L"b");

    ncvector<wstring_nc> assigned;
    assigned.push_back(wstring_nc(L"old"_v));
    assigned = original;
    ASSERT_EQ(assigned.size(), 2u);
    EXPECT_EQ(W(assigned[1]), L"b");
}

TEST(Ncvector, IteratorOfAVectorWithoutPointerArrayFailsItsCheck)
{
    ncvector<wstring_nc> none;
    EXPECT_TRUE(FailsCheck([&] { (void)*none.begin(); }, "ptrs_"));
}

// ---------------------------------------------------------------------------------------------
// Reference counting

namespace {

class Counted : public RefCountable {
public:
    struct Trace {
        bool destroyed = false;
        LONG countSeenByDestructor = 0;
    };
    explicit Counted(Trace& trace) : m_trace(trace) {}
    ~Counted() override
    {
        m_trace.destroyed = true;
        m_trace.countSeenByDestructor = RefCount();
    }

private:
    Trace& m_trace;
};

}  // namespace

TEST(RefCounting, CountsFromCreationToDestruction)
{
    EXPECT_EQ(RefCountable::INIT_REFCOUNT, 0x60000000);
    EXPECT_EQ(RefCountable::DESTROY_REFCOUNT, 0x40000000);

    Counted::Trace trace;
    Counted* object = new Counted(trace);
    EXPECT_EQ(object->RefCount(), RefCountable::INIT_REFCOUNT);
    {
        RefPtr<Counted> first(object);
        EXPECT_EQ(object->RefCount(), 1);
        {
            RefPtr<Counted> second(first);
            EXPECT_EQ(object->RefCount(), 2);
            EXPECT_EQ(second.get(), object);
        }
        EXPECT_EQ(object->RefCount(), 1);
        EXPECT_FALSE(trace.destroyed);
    }
    EXPECT_TRUE(trace.destroyed);
    EXPECT_EQ(trace.countSeenByDestructor, RefCountable::DESTROY_REFCOUNT);
}

TEST(RefCounting, AssignmentTakesTheNewCountBeforeReleasingTheOld)
{
    Counted::Trace traceA, traceB;
    RefPtr<Counted> a(new Counted(traceA));
    RefPtr<Counted> b(new Counted(traceB));
    RefPtr<Counted> alsoB(b);
    Counted* objectB = b.get();

    a = b;  // A loses its only reference
    EXPECT_TRUE(traceA.destroyed);
    EXPECT_EQ(traceA.countSeenByDestructor, RefCountable::DESTROY_REFCOUNT);
    EXPECT_EQ(objectB->RefCount(), 3);

    a = a;  // the same object: the count must not reach zero on the way
    EXPECT_FALSE(traceB.destroyed);
    EXPECT_EQ(objectB->RefCount(), 3);

    Counted::Trace traceC;
    RefPtr<Counted> single(new Counted(traceC));
    single = single;
    EXPECT_FALSE(traceC.destroyed);
    EXPECT_EQ(single->RefCount(), 1);

    a = RefPtr<Counted>();
    b = RefPtr<Counted>();
    EXPECT_EQ(objectB->RefCount(), 1);
    alsoB = RefPtr<Counted>();
    EXPECT_TRUE(traceB.destroyed);
}

TEST(RefCounting, ObjectNeverHandedToARefPtrMayBeDeletedDirectly)
{
    Counted::Trace trace;
    Counted* object = new Counted(trace);
    EXPECT_NO_THROW(delete object);
    EXPECT_TRUE(trace.destroyed);
    EXPECT_EQ(trace.countSeenByDestructor, RefCountable::INIT_REFCOUNT);
}

TEST(RefCounting, DeletingAReferencedObjectFailsTheDestructorCheck)
{
    Counted::Trace trace;
    Counted* object = new Counted(trace);
    object->AddRef();
    EXPECT_TRUE(FailsCheck([&] { delete object; }, "m_refCount == DESTROY_REFCOUNT || m_refCount == INIT_REFCOUNT"));
}

TEST(RefCounting, ReleasingAnUnownedObjectFailsTheReleaseCheck)
{
    Counted::Trace trace;
    Counted* object = new Counted(trace);
    EXPECT_TRUE(FailsCheck([&] { object->Release(); }, "m_refCount > 0 && m_refCount < INIT_REFCOUNT"));
    EXPECT_FALSE(trace.destroyed);
    EXPECT_EQ(object->RefCount(), RefCountable::INIT_REFCOUNT);
    delete object;
}

TEST(RefCounting, ReferencesTakenAndDroppedOnSeveralThreadsKeepTheCount)
{
    Counted::Trace trace;
    RefPtr<Counted> shared(new Counted(trace));
    auto churn = [&shared] {
        for (int i = 0; i < 50000; ++i) {
            RefPtr<Counted> copy(shared);
            RefPtr<Counted> another(copy);
        }
    };
    std::thread one(churn), two(churn), three(churn);
    one.join();
    two.join();
    three.join();
    EXPECT_EQ(shared->RefCount(), 1);
    EXPECT_FALSE(trace.destroyed);
}
