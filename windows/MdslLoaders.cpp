#include "MdslLoaders.h"

#include <QWidget>

MdslLoaders::MdslLoaders(QWidget* host, Prompts* prompts, int step_pause_ms)
    : QObject(host), m_host(host), m_prompts(prompts), m_step_pause_ms(step_pause_ms) {}

Mdsl_Window* MdslLoaders::open() {
    auto* loader = new Mdsl_Window(m_host, m_prompts, m_step_pause_ms);
    m_current = loader;
    connect(loader, &Mdsl_Window::closing, this, [this, loader] { release(loader); });
    loader->show();
    return loader;
}

bool MdslLoaders::anyRunning() const {
    const auto loaders = m_host->findChildren<Mdsl_Window*>(QString(), Qt::FindDirectChildrenOnly);
    for (const Mdsl_Window* loader : loaders) {
        if (loader->isRunning()) {
            return true;
        }
    }
    return false;
}

void MdslLoaders::release(Mdsl_Window* loader) {
    if (!loader) {
        return;
    }
    if (m_current == loader) {
        m_current = nullptr;
    }
    loader->deleteWhenIdle();
}
