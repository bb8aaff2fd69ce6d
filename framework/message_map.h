#pragma once
// Message maps: static tables from (message, notification code, control id) to
// member handlers, found through a class's virtual accessor and walked from the
// most derived class to its bases. The first matching row answers the message,
// unless its handler declines it with SetMsgHandled(false): the message then
// gets the system's default processing, as if no row had matched.
//
// WM_COMMAND rows match the notification code (HIWORD) and the id (LOWORD);
// menu items and accelerators carry no control handle and match code 0.
// WM_NOTIFY rows match (idFrom, code) of the NMHDR. Other rows match the message.
#include <windows.h>

class CCmdTarget;

// Calls one handler with typed arguments; false when the handler declines the
// message (an _EX notification handler returning FALSE).
typedef bool (*MessageThunk)(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* result);

struct MessageMapEntry {
    UINT message;
    UINT code;     // notification code for WM_COMMAND and WM_NOTIFY rows, else 0
    UINT idFirst;  // control or command ids matched, inclusive
    UINT idLast;
    MessageThunk thunk;  // null ends the table
};

struct MessageMap {
    const MessageMap* (*base)();  // null for the root of the chain
    const MessageMapEntry* entries;
};

// The row that answers (message, wParam, lParam) in `map` or its bases, or null.
const MessageMapEntry* FindMessageMapEntry(const MessageMap* map, UINT message, WPARAM wParam, LPARAM lParam);

namespace message_thunks {

template <class>
struct MemberOf;
template <class C, class R, class... A>
struct MemberOf<R (C::*)(A...)> {
    using Class = C;
};
template <auto Handler>
using ClassOf = typename MemberOf<decltype(Handler)>::Class;

// void OnSomething()
template <auto Handler>
bool Command(CCmdTarget* target, WPARAM, LPARAM, LRESULT*) {
    (static_cast<ClassOf<Handler>*>(target)->*Handler)();
    return true;
}

// void OnCommand(UINT id): one handler for a range of command or control ids
template <auto Handler>
bool CommandRange(CCmdTarget* target, WPARAM wParam, LPARAM, LRESULT*) {
    (static_cast<ClassOf<Handler>*>(target)->*Handler)(LOWORD(wParam));
    return true;
}

// void OnNotify(UINT id, NMHDR* header, LRESULT* result): one handler for a range of control ids
template <auto Handler>
bool NotifyRange(CCmdTarget* target, WPARAM, LPARAM lParam, LRESULT* result) {
    NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
    (static_cast<ClassOf<Handler>*>(target)->*Handler)(static_cast<UINT>(header->idFrom), header, result);
    return true;
}

// void OnNotify(NMHDR* header, LRESULT* result)
template <auto Handler>
bool Notify(CCmdTarget* target, WPARAM, LPARAM lParam, LRESULT* result) {
    (static_cast<ClassOf<Handler>*>(target)->*Handler)(reinterpret_cast<NMHDR*>(lParam), result);
    return true;
}

// BOOL OnNotify(UINT id, NMHDR* header, LRESULT* result): FALSE leaves it unhandled
template <auto Handler>
bool NotifyEx(CCmdTarget* target, WPARAM, LPARAM lParam, LRESULT* result) {
    NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
    return (static_cast<ClassOf<Handler>*>(target)->*Handler)(static_cast<UINT>(header->idFrom), header, result) !=
           FALSE;
}

// LRESULT OnMessage(WPARAM, LPARAM)
template <auto Handler>
bool Message(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    *result = (static_cast<ClassOf<Handler>*>(target)->*Handler)(wParam, lParam);
    return true;
}

// void OnSize(UINT type, int cx, int cy)
template <auto Handler>
bool Size(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT*) {
    (static_cast<ClassOf<Handler>*>(target)->*Handler)(static_cast<UINT>(wParam), static_cast<short>(LOWORD(lParam)),
                                                       static_cast<short>(HIWORD(lParam)));
    return true;
}

// void OnShowWindow(BOOL show, UINT status)
template <auto Handler>
bool ShowWindow(CCmdTarget* target, WPARAM wParam, LPARAM lParam, LRESULT*) {
    (static_cast<ClassOf<Handler>*>(target)->*Handler)(static_cast<BOOL>(wParam), static_cast<UINT>(lParam));
    return true;
}

// void OnTimer(UINT_PTR id)
template <auto Handler>
bool Timer(CCmdTarget* target, WPARAM wParam, LPARAM, LRESULT*) {
    (static_cast<ClassOf<Handler>*>(target)->*Handler)(static_cast<UINT_PTR>(wParam));
    return true;
}

// HCURSOR OnQueryDragIcon()
template <auto Handler>
bool QueryDragIcon(CCmdTarget* target, WPARAM, LPARAM, LRESULT* result) {
    *result = reinterpret_cast<LRESULT>((static_cast<ClassOf<Handler>*>(target)->*Handler)());
    return true;
}

}  // namespace message_thunks

// In the class body.
#define DECLARE_MESSAGE_MAP()                        \
protected:                                           \
    static const MessageMap* GetThisMessageMap();    \
    const MessageMap* GetMessageMap() const override;

// In the source file.
#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                             \
    const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }      \
    const MessageMap* theClass::GetThisMessageMap() {                                      \
        typedef theClass ThisClass;                                                        \
        typedef baseClass TheBaseClass;                                                    \
        static const MessageMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                                  \
            {0, 0, 0, 0, nullptr}};                                                        \
        static const MessageMap map = {&TheBaseClass::GetThisMessageMap, entries};         \
        return &map;                                                                       \
    }

#define ON_COMMAND(id, handler) {WM_COMMAND, 0, (id), (id), &message_thunks::Command<&ThisClass::handler>},
#define ON_CONTROL(code, id, handler) \
    {WM_COMMAND, static_cast<UINT>(code), (id), (id), &message_thunks::Command<&ThisClass::handler>},
#define ON_CONTROL_RANGE(code, idFirst, idLast, handler) \
    {WM_COMMAND, static_cast<UINT>(code), (idFirst), (idLast), &message_thunks::CommandRange<&ThisClass::handler>},
#define ON_BN_CLICKED(id, handler) ON_CONTROL(BN_CLICKED, id, handler)
#define ON_EN_SETFOCUS(id, handler) ON_CONTROL(EN_SETFOCUS, id, handler)
#define ON_NOTIFY(code, id, handler) \
    {WM_NOTIFY, static_cast<UINT>(code), (id), (id), &message_thunks::Notify<&ThisClass::handler>},
#define ON_NOTIFY_RANGE(code, idFirst, idLast, handler) \
    {WM_NOTIFY, static_cast<UINT>(code), (idFirst), (idLast), &message_thunks::NotifyRange<&ThisClass::handler>},
#define ON_NOTIFY_EX_RANGE(code, idFirst, idLast, handler) \
    {WM_NOTIFY, static_cast<UINT>(code), (idFirst), (idLast), &message_thunks::NotifyEx<&ThisClass::handler>},
#define ON_MESSAGE(message, handler) {(message), 0, 0, 0, &message_thunks::Message<&ThisClass::handler>},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, 0, &message_thunks::Command<&ThisClass::OnPaint>},
#define ON_WM_CLOSE() {WM_CLOSE, 0, 0, 0, &message_thunks::Command<&ThisClass::OnClose>},
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, 0, &message_thunks::Command<&ThisClass::OnDestroy>},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, 0, &message_thunks::Size<&ThisClass::OnSize>},
#define ON_WM_SHOWWINDOW() {WM_SHOWWINDOW, 0, 0, 0, &message_thunks::ShowWindow<&ThisClass::OnShowWindow>},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, 0, &message_thunks::Timer<&ThisClass::OnTimer>},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, 0, &message_thunks::QueryDragIcon<&ThisClass::OnQueryDragIcon>},
