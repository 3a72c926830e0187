// The shim as Nautilus loads it: through its module entry points, called
// with stand-in file objects on this thread's main loop, against the
// stand-in extension program, which the private bus starts on demand.
#include "fakefileinfo.h"

#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using FilePtr = std::unique_ptr<FakeFileInfo, decltype(&g_object_unref)>;

std::string g_home;
std::string g_root;
GTestDBus *g_bus = nullptr;

FilePtr makeFile(const std::string &path, bool directory = true)
{
    return FilePtr(fake_file_info_new(path.c_str(), directory), g_object_unref);
}

std::vector<std::string> emblemsOf(FakeFileInfo *file)
{
    std::vector<std::string> emblems;
    for (const char *const *e = fake_file_info_emblems(file); *e != nullptr; ++e)
        emblems.emplace_back(*e);
    return emblems;
}

// Turns the main loop until done() holds or five seconds passed.
bool waitFor(const std::function<bool()> &done, int milliseconds = 5000)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        g_usleep(2000);
    }
    return true;
}

void writeFile(const std::string &path, const std::string &text)
{
    ASSERT_TRUE(g_file_set_contents(path.c_str(), text.c_str(), -1, nullptr)) << path;
}

// One private bus for the process, with the stand-in program activatable on
// it, and a HOME of its own holding the volume's folders.
class BusEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        g_autofree char *base = g_dir_make_tmp("marrowlens-shim-XXXXXX", nullptr);
        ASSERT_NE(base, nullptr);
        m_base = base;
        g_home = m_base + "/home";
        g_root = g_home + "/Volumes/Marrowby";
        for (const char *folder : {"/iPhone 14/Notes", "/iPad Air", "/Apple TV"})
            ASSERT_EQ(g_mkdir_with_parents((g_root + folder).c_str(), 0700), 0);
        writeFile(g_root + "/Readme.txt", "readme\n");
        const std::string services = m_base + "/services";
        ASSERT_EQ(g_mkdir_with_parents(services.c_str(), 0700), 0);
        writeFile(services + "/dev.marrowby.marrowby.Marrowlens.service",
                  "[D-BUS Service]\nName=dev.marrowby.marrowby.Marrowlens\nExec=" FAKELENS
                  " --contract " LENS_CONTRACT " --image " BADGE_IMAGE " --root '" +
                      g_root + "' --booted 'iPhone 14'\n");
        g_setenv("HOME", g_home.c_str(), TRUE);
        g_setenv("XDG_DATA_HOME", (m_base + "/data").c_str(), TRUE);
        g_bus = g_test_dbus_new(G_TEST_DBUS_NONE);
        g_test_dbus_add_service_dir(g_bus, services.c_str());
        g_test_dbus_up(g_bus);
    }

    void TearDown() override
    {
        // The bus goes with the process (GTestDBus watches it); stopping it
        // here would close the shim's connection under it.
        g_autoptr(GFile) base = g_file_new_for_path(m_base.c_str());
        removeTree(base);
    }

private:
    static void removeTree(GFile *file)
    {
        g_autoptr(GFileEnumerator) children =
            g_file_enumerate_children(file, G_FILE_ATTRIBUTE_STANDARD_NAME,
                                      G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr, nullptr);
        while (children != nullptr) {
            GFile *child = nullptr;
            if (!g_file_enumerator_iterate(children, nullptr, &child, nullptr, nullptr) ||
                child == nullptr)
                break;
            removeTree(child);
        }
        g_file_delete(file, nullptr, nullptr);
    }

    std::string m_base;
};

struct Completion
{
    int calls = 0;
    int result = -1;
    std::function<void()> then;
};

// The closure shares the completion: the shim may complete after the caller
// stopped waiting.
using CompletionPtr = std::shared_ptr<Completion>;

void onComplete(NautilusInfoProvider *, NautilusOperationHandle *, NautilusOperationResult result,
                gpointer data)
{
    auto completion = *static_cast<CompletionPtr *>(data);
    completion->calls++;
    completion->result = result;
    if (completion->then)
        completion->then();
}

void dropCompletion(gpointer data, GClosure *)
{
    delete static_cast<CompletionPtr *>(data);
}

NautilusOperationResult askInfo(GObject *provider, FakeFileInfo *file,
                                const CompletionPtr &completion,
                                NautilusOperationHandle **handleOut = nullptr)
{
    GClosure *closure =
        g_cclosure_new(G_CALLBACK(onComplete), new CompletionPtr(completion), dropCompletion);
    g_closure_set_marshal(closure, g_cclosure_marshal_generic);
    g_closure_ref(closure);
    g_closure_sink(closure);
    NautilusOperationHandle *handle = nullptr;
    const auto result = nautilus_info_provider_update_file_info(
        NAUTILUS_INFO_PROVIDER(provider), NAUTILUS_FILE_INFO(file), closure, &handle);
    g_closure_unref(closure);
    if (handleOut != nullptr)
        *handleOut = handle;
    return result;
}

// What Nautilus does with the info provider: asks for each shown item, and
// asks again, from its main loop, after the item's info was invalidated.
class Viewer
{
public:
    explicit Viewer(GObject *provider) : m_provider(provider) {}

    ~Viewer()
    {
        for (guint source : m_reasks)
            g_source_remove(source);
    }

    void show(FakeFileInfo *file)
    {
        fake_file_info_on_invalidated(file, &Viewer::onInvalidated, this);
        ask(file);
    }

    // No request in flight and none due.
    bool settled(FakeFileInfo *file) { return m_inFlight[file].empty() && m_reasking[file] == 0; }

    // The emblems file ends up with once the shim has nothing more to say.
    std::vector<std::string> settledEmblems(FakeFileInfo *file)
    {
        EXPECT_TRUE(waitFor([&] { return settled(file); }));
        return emblemsOf(file);
    }

private:
    void ask(FakeFileInfo *file)
    {
        auto completion = std::make_shared<Completion>();
        auto handle = std::make_shared<NautilusOperationHandle *>(nullptr);
        completion->then = [this, file, handle] { m_inFlight[file].erase(*handle); };
        if (askInfo(m_provider, file, completion, handle.get()) == NAUTILUS_OPERATION_IN_PROGRESS)
            m_inFlight[file].insert(*handle);
    }

    struct Reask
    {
        Viewer *viewer;
        FakeFileInfo *file;
        guint source;
    };

    static void onInvalidated(FakeFileInfo *file, gpointer data)
    {
        auto *self = static_cast<Viewer *>(data);
        // An invalidation cancels what is in flight for the item.
        for (auto *handle : std::exchange(self->m_inFlight[file], {}))
            nautilus_info_provider_cancel_update(NAUTILUS_INFO_PROVIDER(self->m_provider), handle);
        // Invalidations before the next request make one request.
        if (self->m_reasking[file] > 0)
            return;
        self->m_reasking[file]++;
        auto *reask = new Reask{self, file, 0};
        reask->source = g_idle_add(
            [](gpointer data) -> gboolean {
                auto *reask = static_cast<Reask *>(data);
                reask->viewer->m_reasks.erase(reask->source);
                reask->viewer->m_reasking[reask->file]--;
                reask->viewer->ask(reask->file);
                delete reask;
                return G_SOURCE_REMOVE;
            },
            reask);
        self->m_reasks.insert(reask->source);
    }

    GObject *m_provider;
    std::map<FakeFileInfo *, std::set<NautilusOperationHandle *>> m_inFlight;
    std::map<FakeFileInfo *, int> m_reasking;
    std::set<guint> m_reasks;
};

class NautilusShim : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_provider = fake_load_provider(SHIM_MODULE);
        ASSERT_NE(m_provider, nullptr);
        ASSERT_TRUE(NAUTILUS_IS_INFO_PROVIDER(m_provider));
        ASSERT_TRUE(NAUTILUS_IS_MENU_PROVIDER(m_provider));
        m_viewer = std::make_unique<Viewer>(m_provider);
        m_bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        ASSERT_NE(m_bus, nullptr);
    }

    void TearDown() override
    {
        // The provider first: it drops its pending requests without
        // completing them, as Nautilus expects at shutdown.
        g_clear_object(&m_provider);
        m_viewer.reset();
        g_clear_object(&m_bus);
    }

    NautilusOperationResult update(FakeFileInfo *file)
    {
        return askInfo(m_provider, file, std::make_shared<Completion>());
    }

    GList *menuFor(const std::vector<FakeFileInfo *> &files)
    {
        GList *list = nullptr;
        for (auto *file : files)
            list = g_list_append(list, file);
        GList *items =
            nautilus_menu_provider_get_file_items(NAUTILUS_MENU_PROVIDER(m_provider), list);
        g_list_free(list);
        return items;
    }

    std::vector<std::string> recorded()
    {
        g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
            m_bus, "dev.marrowby.marrowby.Marrowlens", "/Testing",
            "dev.marrowby.marrowby.Marrowlens.Testing", "recorded", nullptr, G_VARIANT_TYPE("(as)"),
            G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, nullptr);
        std::vector<std::string> lines;
        if (reply == nullptr)
            return lines;
        g_autofree const char **strings = nullptr;
        g_variant_get(reply, "(^a&s)", &strings);
        for (const char **line = strings; *line != nullptr; ++line)
            lines.emplace_back(*line);
        return lines;
    }

    bool wasRecorded(const std::string &line)
    {
        const auto lines = recorded();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    void tellFake(const char *method, GVariant *parameters)
    {
        g_autoptr(GError) error = nullptr;
        g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
            m_bus, "dev.marrowby.marrowby.Marrowlens", "/Testing",
            "dev.marrowby.marrowby.Marrowlens.Testing", method, parameters, nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, &error);
        ASSERT_NE(reply, nullptr) << method << ": " << error->message;
    }

    void crashFake()
    {
        g_dbus_connection_call(m_bus, "dev.marrowby.marrowby.Marrowlens", "/Testing",
                               "dev.marrowby.marrowby.Marrowlens.Testing", "crash", nullptr,
                               nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, nullptr,
                               nullptr);
    }

    bool programRuns()
    {
        g_autoptr(GVariant) reply = g_dbus_connection_call_sync(
            m_bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "NameHasOwner", g_variant_new("(s)", "dev.marrowby.marrowby.Marrowlens"),
            G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr);
        gboolean owned = FALSE;
        if (reply != nullptr)
            g_variant_get(reply, "(b)", &owned);
        return owned;
    }

    // Shows an item of the volume, new to the program, until the program was
    // asked about it: then this provider knows the volume and the program runs.
    void waitUntilTheShimKnowsTheVolume()
    {
        static int probes = 0;
        const std::string probe = g_root + "/probe " + std::to_string(++probes);
        auto file = makeFile(probe, false);
        ASSERT_TRUE(waitFor([&] {
            update(file.get());
            return wasRecorded("requestBadgeIdentifier " + probe);
        }));
    }

    GObject *m_provider = nullptr;
    std::unique_ptr<Viewer> m_viewer;
    GDBusConnection *m_bus = nullptr;
};

// The part of a file manager that says which folder each window shows:
// org.freedesktop.FileManager1's OpenWindowsWithLocations, owned by this
// process as Nautilus owns it in its own.
class FileManagerWindows
{
public:
    using Windows = std::map<std::string, std::vector<std::string>>; // window → folders

    explicit FileManagerWindows(GDBusConnection *bus) : m_bus(bus)
    {
        static const char xml[] =
            "<node><interface name='org.freedesktop.FileManager1'>"
            "<property name='OpenWindowsWithLocations' type='a{sas}' access='read'/>"
            "</interface></node>";
        m_node = g_dbus_node_info_new_for_xml(xml, nullptr);
        static const GDBusInterfaceVTable vtable = {
            nullptr, &FileManagerWindows::property, nullptr, {}};
        m_object = g_dbus_connection_register_object(m_bus, "/org/freedesktop/FileManager1",
                                                     m_node->interfaces[0], &vtable, this, nullptr,
                                                     nullptr);
        m_name = g_bus_own_name_on_connection(
            m_bus, "org.freedesktop.FileManager1", G_BUS_NAME_OWNER_FLAGS_NONE,
            [](GDBusConnection *, const char *, gpointer data) {
                static_cast<FileManagerWindows *>(data)->m_owned = true;
            },
            nullptr, this, nullptr);
        EXPECT_TRUE(waitFor([&] { return m_owned; }));
    }

    ~FileManagerWindows()
    {
        g_bus_unown_name(m_name);
        g_dbus_connection_unregister_object(m_bus, m_object);
        g_dbus_node_info_unref(m_node);
    }

    void show(const Windows &windows)
    {
        m_windows = windows;
        GVariantBuilder changed;
        g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
        g_variant_builder_add(&changed, "{sv}", "OpenWindowsWithLocations", value());
        g_dbus_connection_emit_signal(
            m_bus, nullptr, "/org/freedesktop/FileManager1", "org.freedesktop.DBus.Properties",
            "PropertiesChanged",
            g_variant_new("(sa{sv}as)", "org.freedesktop.FileManager1", &changed, nullptr),
            nullptr);
    }

private:
    GVariant *value() const
    {
        GVariantBuilder builder;
        g_variant_builder_init(&builder, G_VARIANT_TYPE("a{sas}"));
        for (const auto &[window, folders] : m_windows) {
            GVariantBuilder uris;
            g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
            for (const auto &folder : folders) {
                g_autofree char *uri = g_filename_to_uri(folder.c_str(), nullptr, nullptr);
                g_variant_builder_add(&uris, "s", uri);
            }
            g_variant_builder_add(&builder, "{sas}", window.c_str(), &uris);
        }
        return g_variant_builder_end(&builder);
    }

    static GVariant *property(GDBusConnection *, const char *, const char *, const char *,
                              const char *, GError **, gpointer data)
    {
        return static_cast<FileManagerWindows *>(data)->value();
    }

    GDBusConnection *m_bus;
    GDBusNodeInfo *m_node = nullptr;
    guint m_object = 0;
    guint m_name = 0;
    bool m_owned = false;
    Windows m_windows;
};

// A window's "reload" action, exported as GtkApplication exports it.
class ReloadableWindow
{
public:
    ReloadableWindow(GDBusConnection *bus, const std::string &path) : m_bus(bus)
    {
        m_actions = g_simple_action_group_new();
        GSimpleAction *reload = g_simple_action_new("reload", nullptr);
        g_signal_connect_swapped(reload, "activate", G_CALLBACK(+[](int *count) { ++*count; }),
                                 &m_reloads);
        g_action_map_add_action(G_ACTION_MAP(m_actions), G_ACTION(reload));
        g_object_unref(reload);
        m_export = g_dbus_connection_export_action_group(m_bus, path.c_str(),
                                                         G_ACTION_GROUP(m_actions), nullptr);
        EXPECT_NE(m_export, 0u);
    }

    ~ReloadableWindow()
    {
        g_dbus_connection_unexport_action_group(m_bus, m_export);
        g_object_unref(m_actions);
    }

    int reloads() const { return m_reloads; }

private:
    GDBusConnection *m_bus;
    GSimpleActionGroup *m_actions = nullptr;
    guint m_export = 0;
    int m_reloads = 0;
};

void freeItems(GList *items)
{
    if (items != nullptr)
        nautilus_menu_item_list_free(items);
}

std::vector<std::string> itemNames(GList *items)
{
    std::vector<std::string> names;
    for (GList *item = items; item != nullptr; item = item->next) {
        g_autofree char *name = nullptr;
        g_object_get(item->data, "name", &name, nullptr);
        names.emplace_back(name);
    }
    return names;
}

const std::vector<std::string> kBooted{"marrowlens-booted"};

TEST_F(NautilusShim, ItemsOutsideTheVolumeGetNothingAtOnce)
{
    waitUntilTheShimKnowsTheVolume();
    const std::string outside = g_home + "/Volumes/Marrowby2";
    auto file = makeFile(outside);
    EXPECT_EQ(update(file.get()), NAUTILUS_OPERATION_COMPLETE);
    EXPECT_TRUE(emblemsOf(file.get()).empty());
    GList *items = menuFor({file.get()});
    EXPECT_EQ(items, nullptr);
    freeItems(items);
    for (const auto &line : recorded())
        EXPECT_EQ(line.find(outside), std::string::npos) << line;
}

TEST_F(NautilusShim, ItemsShownBeforeTheProgramAnsweredAreAskedAgain)
{
    // Shown at once, before the program told the shim where the volume is:
    // nothing yet, and Nautilus is told to ask again once it did.
    auto phone = makeFile(g_root + "/iPhone 14");
    m_viewer->show(phone.get());
    EXPECT_TRUE(waitFor([&] { return emblemsOf(phone.get()) == kBooted; }));
}

TEST_F(NautilusShim, BootedDeviceFolderGetsTheEmblemAndOthersNone)
{
    waitUntilTheShimKnowsTheVolume();
    auto phone = makeFile(g_root + "/iPhone 14");
    auto pad = makeFile(g_root + "/iPad Air");
    auto notes = makeFile(g_root + "/iPhone 14/Notes");
    for (auto *file : {phone.get(), pad.get(), notes.get()})
        m_viewer->show(file);
    EXPECT_EQ(m_viewer->settledEmblems(phone.get()), kBooted);
    EXPECT_TRUE(m_viewer->settledEmblems(pad.get()).empty());
    // The program says nothing about items deeper down: the request ends
    // with no emblem after a short wait, and the next one is answered at once.
    EXPECT_TRUE(m_viewer->settledEmblems(notes.get()).empty());
    EXPECT_EQ(update(notes.get()), NAUTILUS_OPERATION_COMPLETE);

    // The badge image became the emblem's icon in the user's theme.
    g_autofree char *copy = g_build_filename(g_getenv("XDG_DATA_HOME"), "icons", "hicolor", "32x32",
                                             "emblems", "emblem-marrowlens-booted.png", nullptr);
    ASSERT_TRUE(waitFor([&] { return g_file_test(copy, G_FILE_TEST_IS_REGULAR); }));
    g_autofree char *copied = nullptr;
    g_autofree char *original = nullptr;
    gsize copiedSize = 0;
    gsize originalSize = 0;
    ASSERT_TRUE(g_file_get_contents(copy, &copied, &copiedSize, nullptr));
    ASSERT_TRUE(g_file_get_contents(BADGE_IMAGE, &original, &originalSize, nullptr));
    EXPECT_EQ(std::string(copied, copiedSize), std::string(original, originalSize));
}

TEST_F(NautilusShim, ABadgeChangeMakesNautilusAskAgainAndIsAnsweredAtOnce)
{
    waitUntilTheShimKnowsTheVolume();
    auto pad = makeFile(g_root + "/iPad Air");
    m_viewer->show(pad.get());
    EXPECT_TRUE(m_viewer->settledEmblems(pad.get()).empty());

    tellFake("setBooted", g_variant_new("(sb)", "iPad Air", TRUE));
    EXPECT_TRUE(waitFor([&] { return emblemsOf(pad.get()) == kBooted; }));
    EXPECT_EQ(update(pad.get()), NAUTILUS_OPERATION_COMPLETE);

    tellFake("setBooted", g_variant_new("(sb)", "iPad Air", FALSE));
    EXPECT_TRUE(
        waitFor([&] { return m_viewer->settled(pad.get()) && emblemsOf(pad.get()).empty(); }));
    EXPECT_EQ(update(pad.get()), NAUTILUS_OPERATION_COMPLETE);
    EXPECT_TRUE(emblemsOf(pad.get()).empty());
}

TEST_F(NautilusShim, MenusComeFromTheProgramAndAChosenItemIsSentBack)
{
    waitUntilTheShimKnowsTheVolume();
    auto phone = makeFile(g_root + "/iPhone 14");
    auto pad = makeFile(g_root + "/iPad Air");
    auto readme = makeFile(g_root + "/Readme.txt", false);

    const auto start = std::chrono::steady_clock::now();
    GList *items = menuFor({phone.get()});
    const auto took = std::chrono::steady_clock::now() - start;
    std::cout << "menu answered in "
              << std::chrono::duration_cast<std::chrono::microseconds>(took).count() << " µs\n";
    EXPECT_EQ(itemNames(items),
              (std::vector<std::string>{"Marrowlens::device.reveal", "Marrowlens::message-1",
                                        "Marrowlens::device.reset"}));
    ASSERT_EQ(g_list_length(items), 3u);
    gboolean sensitive = TRUE;
    g_autofree char *label = nullptr;
    g_object_get(g_list_nth_data(items, 1), "sensitive", &sensitive, "label", &label, nullptr);
    EXPECT_FALSE(sensitive);
    EXPECT_STREQ(label, "\u201diPhone 14\u201d is currently running");

    nautilus_menu_item_activate(NAUTILUS_MENU_ITEM(g_list_nth_data(items, 2)));
    freeItems(items);
    EXPECT_TRUE(waitFor(
        [&] { return wasRecorded("performAction device.reset " + g_root + "/iPhone 14"); }));

    GList *readmeItems = menuFor({readme.get()});
    EXPECT_EQ(readmeItems, nullptr);
    freeItems(readmeItems);

    GList *twoDevices = menuFor({phone.get(), pad.get()});
    EXPECT_EQ(itemNames(twoDevices), std::vector<std::string>{"Marrowlens::device.reveal"});
    freeItems(twoDevices);
}

TEST_F(NautilusShim, AHugeSelectionIsCappedAndTheFirstItemDecides)
{
    waitUntilTheShimKnowsTheVolume();
    std::vector<FilePtr> files;
    std::vector<FakeFileInfo *> selection;
    for (int i = 0; i < 1500; ++i) {
        files.push_back(makeFile(g_root + "/iPad Air/Notes/file " + std::to_string(i), false));
        selection.push_back(files.back().get());
    }
    GList *items = menuFor(selection);
    EXPECT_EQ(itemNames(items), std::vector<std::string>{"Marrowlens::general.reveal"});
    freeItems(items);
    EXPECT_TRUE(wasRecorded("menu 0 1000 " + g_root + "/iPad Air/Notes/file 0"));
}

TEST_F(NautilusShim, WithoutWindowLocationsAFolderIsObservedWhileItsItemsAreShown)
{
    waitUntilTheShimKnowsTheVolume();
    {
        auto phone = makeFile(g_root + "/iPhone 14");
        auto notes = makeFile(g_root + "/iPhone 14/Notes");
        m_viewer->show(phone.get());
        m_viewer->show(notes.get());
        EXPECT_TRUE(waitFor([&] { return wasRecorded("beginObservingDirectory " + g_root); }));
        EXPECT_TRUE(waitFor(
            [&] { return wasRecorded("beginObservingDirectory " + g_root + "/iPhone 14"); }));
        EXPECT_TRUE(waitFor([&] { return m_viewer->settled(notes.get()); }));
        EXPECT_FALSE(wasRecorded("endObservingDirectory " + g_root + "/iPhone 14"));
    }
    // The window went away with its items.
    EXPECT_TRUE(waitFor([&] { return wasRecorded("endObservingDirectory " + g_root); }));
    EXPECT_TRUE(
        waitFor([&] { return wasRecorded("endObservingDirectory " + g_root + "/iPhone 14"); }));
}

TEST_F(NautilusShim, WithoutTheProgramThereIsNoMenuAndABadgeRequestStartsIt)
{
    waitUntilTheShimKnowsTheVolume();
    auto phone = makeFile(g_root + "/iPhone 14");
    crashFake();
    ASSERT_TRUE(waitFor([&] {
        GList *items = menuFor({phone.get()});
        freeItems(items);
        return items == nullptr;
    }));
    // Asking for a menu did not start the program; showing an item does.
    EXPECT_FALSE(programRuns());
    EXPECT_EQ(update(phone.get()), NAUTILUS_OPERATION_IN_PROGRESS);
    EXPECT_TRUE(waitFor([&] { return programRuns(); }));
    EXPECT_TRUE(waitFor([&] {
        GList *items = menuFor({phone.get()});
        freeItems(items);
        return items != nullptr;
    }));
}

TEST_F(NautilusShim, AProgramCrashTakesTheBadgesAndTheNextInstanceHearsOfTheOpenFolders)
{
    waitUntilTheShimKnowsTheVolume();
    auto phone = makeFile(g_root + "/iPhone 14");
    m_viewer->show(phone.get());
    ASSERT_EQ(m_viewer->settledEmblems(phone.get()), kBooted);
    const guint before = fake_file_info_invalidations(phone.get());

    crashFake();
    // The badge goes with the program; Nautilus asks again, which starts
    // the program again; the new instance is told of the open folder and
    // badges the device once more.
    EXPECT_TRUE(waitFor([&] { return fake_file_info_invalidations(phone.get()) > before; }));
    EXPECT_TRUE(waitFor([&] { return wasRecorded("beginObservingDirectory " + g_root); }));
    EXPECT_TRUE(waitFor([&] { return emblemsOf(phone.get()) == kBooted; }));
}

TEST_F(NautilusShim, WithoutWindowLocationsAChangeBehindAnObservedFolderReloadsEveryWindow)
{
    waitUntilTheShimKnowsTheVolume();
    // A file manager of our own: one window whose actions GtkApplication
    // would export the same way.
    g_autoptr(GApplication) files =
        g_application_new("dev.marrowby.test.Files", G_APPLICATION_DEFAULT_FLAGS);
    ASSERT_TRUE(g_application_register(files, nullptr, nullptr));
    g_autoptr(GSimpleActionGroup) actions = g_simple_action_group_new();
    g_autoptr(GSimpleAction) reload = g_simple_action_new("reload", nullptr);
    int reloads = 0;
    g_signal_connect_swapped(reload, "activate", G_CALLBACK(+[](int *count) { ++*count; }),
                             &reloads);
    g_action_map_add_action(G_ACTION_MAP(actions), G_ACTION(reload));
    const std::string window = std::string(g_application_get_dbus_object_path(files)) + "/window/1";
    const guint exported = g_dbus_connection_export_action_group(
        g_application_get_dbus_connection(files), window.c_str(), G_ACTION_GROUP(actions), nullptr);
    ASSERT_NE(exported, 0u);

    auto phone = makeFile(g_root + "/iPhone 14");
    m_viewer->show(phone.get());
    EXPECT_TRUE(waitFor([&] { return wasRecorded("beginObservingDirectory " + g_root); }));
    tellFake("changed", g_variant_new("(s)", g_root.c_str()));
    EXPECT_TRUE(waitFor([&] { return reloads > 0; }));
    g_dbus_connection_unexport_action_group(g_application_get_dbus_connection(files), exported);
}

TEST_F(NautilusShim, ObservationFollowsTheFoldersTheWindowsShow)
{
    waitUntilTheShimKnowsTheVolume();
    FileManagerWindows windows(m_bus);
    windows.show({{"/test/window/1", {g_root}}, {"/test/window/2", {g_home}}});
    EXPECT_TRUE(waitFor([&] { return wasRecorded("beginObservingDirectory " + g_root); }));

    windows.show({{"/test/window/1", {g_root + "/iPhone 14"}}, {"/test/window/2", {g_home}}});
    EXPECT_TRUE(
        waitFor([&] { return wasRecorded("beginObservingDirectory " + g_root + "/iPhone 14"); }));
    EXPECT_TRUE(waitFor([&] { return wasRecorded("endObservingDirectory " + g_root); }));
    // A window outside the volume is none of the program's business.
    const auto lines = recorded();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "beginObservingDirectory " + g_home), 0);
}

TEST_F(NautilusShim, AChangeBehindAFolderReloadsTheWindowsShowingIt)
{
    waitUntilTheShimKnowsTheVolume();
    ReloadableWindow onVolume(m_bus, "/test/window/1");
    ReloadableWindow elsewhere(m_bus, "/test/window/2");
    FileManagerWindows windows(m_bus);
    windows.show({{"/test/window/1", {g_root + "/iPad Air"}}, {"/test/window/2", {g_home}}});
    EXPECT_TRUE(
        waitFor([&] { return wasRecorded("beginObservingDirectory " + g_root + "/iPad Air"); }));

    tellFake("changed", g_variant_new("(s)", (g_root + "/iPad Air").c_str()));
    EXPECT_TRUE(waitFor([&] { return onVolume.reloads() > 0; }));
    EXPECT_EQ(elsewhere.reloads(), 0);
}

} // namespace

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new BusEnvironment);
    return RUN_ALL_TESTS();
}
