// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runtime/end.h"
#include "runtime/event_handler.h"

#include <QPointer>
#include <QWidget>

namespace zelmoro::runtime {

// Every loaded form hidden (End), or unloaded and deleted (unloadAll).
void hideEveryForm();
void unloadEveryForm();

class InstanceSlot {
public:
    InstanceSlot();
    virtual ~InstanceSlot();
    InstanceSlot(const InstanceSlot &) = delete;
    InstanceSlot &operator=(const InstanceSlot &) = delete;

    virtual QWidget *widget() const = 0;
    virtual void Unload() = 0;
};

template <class F>
concept HasFormLoad = requires(F &form)
{
    form.Form_Load();
};

// The one default instance of a form, created on first use. A form is not
// loaded, loaded and hidden, or shown.
template <class F> class DefaultInstance final : public InstanceSlot {
public:
    // The form, loading it (and running its Form_Load) if needed.
    F &get()
    {
        if (!m_form) {
            m_form = new F;
            if constexpr (HasFormLoad<F>)
                runHandler([form = m_form.data()] { form->Form_Load(); });
        }
        return *m_form;
    }

    // The form if it is loaded, else nullptr.
    F *loaded() const { return m_form.data(); }
    bool isLoaded() const { return !m_form.isNull(); }
    bool isShown() const { return m_form && m_form->isVisible(); }

    // Loads if needed, then shows modeless; on a shown form only brings it forward.
    void Show()
    {
        F &form = get();
        if (hasEnded())
            return;
        form.show();
        form.raise();
        form.activateWindow();
    }

    // Makes the form invisible; it stays loaded and its timers keep firing.
    void Hide()
    {
        if (m_form)
            m_form->hide();
    }

    // Discards the form; the next Show loads it afresh. Safe inside the form's
    // own handlers: the window goes away at once and is deleted afterwards.
    void Unload() override
    {
        if (!m_form)
            return;
        F *form = m_form.data();
        m_form.clear();
        form->hide();
        form->deleteLater();
    }

    QWidget *widget() const override { return m_form.data(); }

private:
    QPointer<F> m_form;
};

template <class F> DefaultInstance<F> &form()
{
    static DefaultInstance<F> instance;
    return instance;
}

} // namespace zelmoro::runtime
