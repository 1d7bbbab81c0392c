#ifndef WDOG_PROCTABLE_RECYCLING_ALLOCATOR_H
#define WDOG_PROCTABLE_RECYCLING_ALLOCATOR_H

#include <cstddef>
#include <new>

// An allocator for node containers that keeps the single objects it gets
// back and hands them out again, instead of returning them to the heap.
// Every scan of the process table frees one node per process and allocates
// as many again; recycled, they cost neither a malloc nor, once the heap
// has shrunk in between, fresh pages. The pool never holds more nodes than
// the largest table had. Not for use from more than one thread.
template <typename T>
class RecyclingAllocator {
public:
    using value_type = T;

    RecyclingAllocator() = default;
    // Containers rebind and convert allocators implicitly, so this stays implicit.
    template <typename U>
    // cppcheck-suppress noExplicitConstructor
    RecyclingAllocator(const RecyclingAllocator<U>&) noexcept
    {
    }

    T* allocate(std::size_t n)
    {
        if (n == 1 && FreeList()) {
            Slot* slot = FreeList();
            FreeList() = slot->next;
            return reinterpret_cast<T*>(slot);
        }
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }

    void deallocate(T* p, std::size_t n) noexcept
    {
        if (n != 1) {
            ::operator delete(p);
            return;
        }
        Slot* slot = reinterpret_cast<Slot*>(p);
        slot->next = FreeList();
        FreeList() = slot;
    }

    template <typename U>
    bool operator==(const RecyclingAllocator<U>&) const noexcept
    {
        return true;
    }
    template <typename U>
    bool operator!=(const RecyclingAllocator<U>&) const noexcept
    {
        return false;
    }

private:
    struct Slot {
        Slot* next;
    };
    static_assert(sizeof(T) >= sizeof(Slot), "a node must hold a link");

    static Slot*& FreeList()
    {
        static Slot* head = nullptr;
        return head;
    }
};

#endif
