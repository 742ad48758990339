#pragma once

#include <QObject>
#include <QPointer>

#include "Mdsl_Window.h"

class Prompts;
class QWidget;

// The host's side of its multi-device loaders: each request opens a new loader with the host
// as parent; the last one opened is kept; a loader that closes is deleted once its step in
// progress has returned, and forgotten only when it is the one kept. While any of them runs,
// the device window is theirs.
class MdslLoaders : public QObject {
    Q_OBJECT
public:
    // The host must also be an MdslHost.
    explicit MdslLoaders(QWidget* host, Prompts* prompts = nullptr,
                         int step_pause_ms = Mdsl_Window::kStepPauseMs);

    // Opens and shows a new loader; its closing() releases it.
    Mdsl_Window* open();
    // The loader opened last, while it lives and has not closed.
    Mdsl_Window* current() const { return m_current; }
    // Whether any of the host's loaders runs or is still inside a step.
    bool anyRunning() const;
    // For the loader that sent closing().
    void release(Mdsl_Window* loader);

private:
    QWidget* m_host;
    Prompts* m_prompts;
    const int m_step_pause_ms;
    QPointer<Mdsl_Window> m_current;
};
