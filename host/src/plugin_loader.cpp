#include "host/plugin_loader.h"

#include <ace/Init_ACE.h>
#include <dlfcn.h>

#include <exception>

#include "standard/throw.h"

namespace host {

namespace {

const char* const kModule = "host";
const char* const kFactoryInterface = "CIDHCPAutonomousObjectFactory";
const char* const kLoadFailed = "Cannot load plug-in '%1'.";
const char* const kStartFailed = "Cannot start plug-in '%1'.";

std::string lastDlError() {
    const char* text = ::dlerror();
    return text ? text : "unknown error";
}

// The text of whatever a plug-in call threw, for the reason of the host's own exception.
std::string describeCurrent() {
    try {
        throw;
    } catch (nbx::CException& e) {
        return e.text();
    } catch (std::exception& e) {
        return e.what();
    } catch (...) {
        return "An unknown exception was thrown.";
    }
}

}  // namespace

namespace {

// A plug-in initialises ACE when it is created and finalises it when it is destroyed; the last
// finalisation tears ACE down for the whole process. The host uses ACE too, so it holds one
// initialisation of its own from its first loader until the process ends.
struct CAceHold {
    CAceHold() { ACE::init(); }
    ~CAceHold() { ACE::fini(); }
};

}  // namespace

CPluginLoader::CPluginLoader(CIHostContext& hostContext) : m_hostContext(hostContext) {
    static CAceHold hold;
}

CPluginLoader::~CPluginLoader() {
    stop();
}

bool CPluginLoader::load(const std::string& path) {
    if (m_library) {
        NBX_THROW(nbx::CException, kModule, "CPluginLoader::load", nbx::msg(kLoadFailed, path),
                  nbx::msg("The plug-in '%1' is loaded.", m_path));
    }
    m_path = path;
    // dlopen takes an empty name for the program itself.
    if (path.empty()) _fail("CPluginLoader::load", kLoadFailed, nbx::msg("No file name given."));
    ::dlerror();
    m_library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_library) _fail("CPluginLoader::load", kLoadFailed, nbx::msg("%1", lastDlError()));

    void* creator = ::dlsym(m_library, "pluginCreator");
    if (!creator) {
        _fail("CPluginLoader::load", kLoadFailed,
              nbx::msg("Symbol '%1' not found: %2", "pluginCreator", lastDlError()));
    }
    void* destroyer = ::dlsym(m_library, "pluginDestroyer");
    if (!destroyer) {
        _fail("CPluginLoader::load", kLoadFailed,
              nbx::msg("Symbol '%1' not found: %2", "pluginDestroyer", lastDlError()));
    }
    m_destroyer = reinterpret_cast<CPluginDestroyer>(destroyer);

    CPlugin* plugin = nullptr;
    bool isFactory = false;
    try {
        plugin = reinterpret_cast<CPluginCreator>(creator)();
        isFactory = plugin && plugin->implements(kFactoryInterface);
    } catch (...) {
        if (plugin) m_destroyer(plugin);
        _fail("CPluginLoader::load", kLoadFailed, nbx::msg("%1", describeCurrent()));
    }
    if (!plugin)
        _fail("CPluginLoader::load", kLoadFailed, nbx::msg("The plug-in's creator returned none."));
    if (!isFactory) {
        m_destroyer(plugin);
        _fail("CPluginLoader::load", kLoadFailed,
              nbx::msg("The plug-in does not implement '%1'.", kFactoryInterface));
    }
    // The interface test stands in for dynamic_cast, whose type information does not cross a
    // library built with hidden visibility.
    m_plugin = static_cast<CIDHCPAutonomousObjectFactory*>(plugin);

    bool enabled = false;
    std::string name;
    try {
        m_plugin->setHostContext(&m_hostContext);
        enabled = m_plugin->isEnabled();
        name = m_plugin->name();
    } catch (...) {
        _fail("CPluginLoader::load", kLoadFailed, nbx::msg("%1", describeCurrent()));
    }
    if (!enabled) {
        _unload();
        _log(
            nbx::SEVERITY_AUDIT,
            nbx::msg("The plug-in '%1' from '%2' is not enabled: it was not started.", name, path));
    }
    return enabled;
}

void CPluginLoader::start(const std::vector<CIDHCPContext*>& contexts) {
    if (!m_plugin) {
        NBX_THROW(nbx::CException, kModule, "CPluginLoader::start", nbx::msg(kStartFailed, m_path),
                  nbx::msg("The plug-in is not loaded."));
    }
    if (!m_started.empty()) {
        NBX_THROW(nbx::CException, kModule, "CPluginLoader::start", nbx::msg(kStartFailed, m_path),
                  nbx::msg("The plug-in is started."));
    }
    for (CIDHCPContext* context : contexts) {
        if (!context) continue;
        void* instance = nullptr;
        try {
            instance = m_plugin->baseInstance(context);
        } catch (...) {
            const std::string cause = describeCurrent();
            _releaseAll();
            _fail("CPluginLoader::start", kStartFailed,
                  nbx::msg("Instance '%1' did not start: %2", context->name(), cause));
        }
        m_started.emplace_back(context, instance);
    }
}

CIDHCPSyncOperations* CPluginLoader::operations(int family) const {
    if (!m_plugin || !m_plugin->implements(CIDHCPSyncOperations::kInterfaceName)) return nullptr;
    for (const auto& [context, instance] : m_started) {
        if (context->family().number() == family)
            return static_cast<CIDHCPSyncOperations*>(instance);
    }
    return nullptr;
}

void CPluginLoader::stop() {
    if (!m_library) return;
    _releaseAll();
    _unload();
}

void CPluginLoader::_releaseAll() {
    while (!m_started.empty()) {
        CIDHCPContext* context = m_started.back().first;
        m_started.pop_back();
        try {
            m_plugin->release(context);
        } catch (...) {
            // Shut-down goes on: the other instances and the library must still be let go.
            _log(nbx::SEVERITY_ERROR, nbx::msg("Cannot release instance '%1' of plug-in '%2': %3",
                                               context->name(), m_path, describeCurrent()));
        }
    }
}

void CPluginLoader::_unload() {
    if (m_plugin) {
        try {
            m_destroyer(m_plugin);
        } catch (...) {
            _log(nbx::SEVERITY_ERROR,
                 nbx::msg("Cannot destroy plug-in '%1': %2", m_path, describeCurrent()));
        }
    }
    m_plugin = nullptr;
    m_destroyer = nullptr;
    m_started.clear();
    if (m_library) ::dlclose(m_library);
    m_library = nullptr;
}

void CPluginLoader::_fail(const char* function, const char* message, const nbx::CMessage& reason) {
    _unload();
    NBX_THROW(nbx::CException, kModule, function, nbx::msg(message, m_path), reason);
}

void CPluginLoader::_log(std::uint32_t severity, const nbx::CMessage& message) {
    nbx::CMessage copy(message);
    copy.setModule(kModule);
    m_hostContext.logSink().log(severity, copy, nullptr);
}

}  // namespace host
