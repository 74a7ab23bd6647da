// CElement and CPtr: members and links of the support library's intrusive lists.
//
// A CElement carries a use count (how many links refer to it), an owned link to the next
// element and a second, non-owning back link. A CPtr is one counted link: setting it raises the
// use count of the element it then refers to, releasing it lowers that count (never below 0) and
// empties the link. Releasing never frees anything; only the destruction of an element frees the
// element its owned link refers to, so a chain hanging from its head is destroyed whole.
//
// Not thread-safe: a list and its links belong to one thread at a time. A link must not outlive
// the element it refers to.
#pragma once

#include <cstdint>

template <class T>
class CPtr {
public:
    CPtr() = default;
    // Refers to `element` (may be null) and raises its use count.
    explicit CPtr(T* element) { Set(element); }
    CPtr(const CPtr& other) { Set(other.element_); }
    CPtr& operator=(const CPtr& other) {
        if (this != &other) Set(other.element_);
        return *this;
    }
    CPtr& operator=(T* element) {
        Set(element);
        return *this;
    }
    ~CPtr() { Release(); }

    // Releases the current element, then refers to `element` (null empties the link).
    void Set(T* element) {
        if (element == element_) return;
        Release();
        element_ = element;
        if (element_ != nullptr) ++element_->useCount_;
    }

    // Lowers the use count of the element referred to (never below 0) and empties the link.
    // The element is not freed.
    void Release() {
        if (element_ != nullptr && element_->useCount_ > 0) --element_->useCount_;
        element_ = nullptr;
    }

    T* Get() const { return element_; }
    T* operator->() const { return element_; }
    T& operator*() const { return *element_; }
    bool IsEmpty() const { return element_ == nullptr; }
    explicit operator bool() const { return element_ != nullptr; }

private:
    T* element_ = nullptr;
};

// Abstract base of list members. T is the element type the links refer to; L the type of the
// owned and back links (the same type in every list of the system: CElement<T,T>).
template <class T, class L = T>
class CElement {
public:
    CElement() = default;
    CElement(const CElement&) = delete;
    CElement& operator=(const CElement&) = delete;

    // Slot 0: destroys the element and, when `free` is true, frees its storage (the element was
    // made with new). With false only the destructor runs; the caller owns the storage.
    virtual void Destroy(bool free) = 0;
    // Slot 1: does nothing.
    virtual void Idle() {}
    // Slot 2: the object itself.
    virtual CElement* Self() { return this; }

    // Destroys and frees the whole chain hanging from the owned link, then empties both links.
    // The chain is taken apart one element at a time, so a long chain does not deepen the stack;
    // back links are emptied first, while every element they may refer to is still alive.
    virtual ~CElement() {
        back_.Release();
        for (L* element = next_.Get(); element != nullptr;) {
            CElement<L, L>* link = element;
            link->back_.Release();
            element = link->next_.Get();
        }
        L* next = next_.Get();
        next_.Release();
        while (next != nullptr) {
            CElement<L, L>* element = next;
            L* after = element->next_.Get();
            element->next_.Release();
            next->Destroy(true);
            next = after;
        }
    }

    // Number of links that refer to this element.
    int32_t UseCount() const { return useCount_; }

    // The owned link (the next element, destroyed with this one) and the non-owning back link.
    CPtr<L>& Next() { return next_; }
    CPtr<L>& Back() { return back_; }

private:
    template <class U>
    friend class CPtr;
    template <class U, class V>
    friend class CElement;

    int32_t useCount_ = 0;
    CPtr<L> next_;
    CPtr<L> back_;
};
