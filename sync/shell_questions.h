#pragma once
// A shell file operation run with nobody to answer it: every window that the
// shell opens on this thread to ask something (a deletion that cannot go to
// the Recycle Bin, say) is closed unanswered, as a user would close it, so
// the operation goes on without what it asked about and never waits.
#include <windows.h>

class UnansweredQuestions {
public:
    // Guards the calling thread while it lives; `active` false guards nothing.
    explicit UnansweredQuestions(bool active);
    ~UnansweredQuestions();
    UnansweredQuestions(const UnansweredQuestions&) = delete;
    UnansweredQuestions& operator=(const UnansweredQuestions&) = delete;

    // The questions closed so far.
    unsigned Closed() const { return m_closed; }

private:
    HHOOK m_hook = nullptr;
    UnansweredQuestions* m_outer = nullptr;
    unsigned m_closed = 0;
    friend LRESULT CALLBACK CloseQuestion(int code, WPARAM wParam, LPARAM lParam);
};
