// The folder tree against a plain reference: random expands, collapses, new folders and
// deleted folders (each followed by the refresh the drive watcher or F5 makes), and after
// every step the tree must show what the reference says and hold what the disk holds.
#include <gtest/gtest.h>

#include "BrowseFixture.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

// Paths are relative to the drive's root, '/'-separated; "" is the drive itself.
std::string join(const std::string& parent, const std::string& name)
{
    return parent.empty() ? name : parent + "/" + name;
}

std::string parentOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool isBelow(const std::string& path, const std::string& root)
{
    return root.empty() ? !path.empty() : path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
}

// What the tree should be, kept as the user sees it: the folders whose children were read
// (with the names read then) and the folders shown open. Collapsing keeps what is open
// below, as the view does; a refresh reads a branch again and opens again the way to every
// folder that was in sight, and nothing else.
class ReferenceTree {
public:
    explicit ReferenceTree(std::function<std::vector<std::string>(const std::string&)> disk) : m_disk(std::move(disk)) {}

    void expand(const std::string& path)
    {
        if (!m_loaded.count(path))
            m_loaded[path] = m_disk(path);
        m_open.insert(path);
    }
    void collapse(const std::string& path) { m_open.erase(path); }

    void refresh(const std::string& root)
    {
        std::vector<std::string> leaves;
        const bool wasOpen = root.empty() || m_open.count(root);
        if (wasOpen)
            collectLeaves(root, leaves);
        for (auto it = m_loaded.begin(); it != m_loaded.end();)
            it = (it->first == root || isBelow(it->first, root)) ? m_loaded.erase(it) : std::next(it);
        for (auto it = m_open.begin(); it != m_open.end();)
            it = isBelow(*it, root) ? m_open.erase(it) : std::next(it);
        if (wasOpen)
            expand(root);
        for (const std::string& leaf : leaves) {
            std::string current = root;
            for (size_t from = root.empty() ? 0 : root.size() + 1; from <= leaf.size();) {
                const size_t to = std::min(leaf.find('/', from), leaf.size());
                expand(current);
                const std::string name = leaf.substr(from, to - from);
                const auto& children = m_loaded[current];
                if (std::find(children.begin(), children.end(), name) == children.end())
                    break;
                current = join(current, name);
                from = to + 1;
            }
        }
    }

    // The folders in sight below `top`, `top` included: every folder above them is open.
    std::set<std::string> visible(const std::string& top) const
    {
        std::set<std::string> shown{top};
        addVisible(top, shown);
        return shown;
    }

    bool isOpen(const std::string& path) const { return path.empty() || m_open.count(path); }

private:
    void collectLeaves(const std::string& node, std::vector<std::string>& leaves) const
    {
        const auto loaded = m_loaded.find(node);
        if (loaded == m_loaded.end())
            return;
        for (const std::string& name : loaded->second) {
            const std::string child = join(node, name);
            const auto below = m_loaded.find(child);
            if (m_open.count(child) && below != m_loaded.end() && !below->second.empty())
                collectLeaves(child, leaves);
            else
                leaves.push_back(child);
        }
    }
    void addVisible(const std::string& node, std::set<std::string>& shown) const
    {
        const auto loaded = m_loaded.find(node);
        if (!isOpen(node) || loaded == m_loaded.end())
            return;
        for (const std::string& name : loaded->second) {
            shown.insert(join(node, name));
            addVisible(join(node, name), shown);
        }
    }

    std::function<std::vector<std::string>(const std::string&)> m_disk;
    std::map<std::string, std::vector<std::string>> m_loaded;
    std::set<std::string> m_open;
};

class FolderTreeModelTest : public BrowseFixture {
protected:
    // Names of one width, so every collation orders them alike.
    std::string newName()
    {
        const std::string number = std::to_string(m_names++);
        return "n" + std::string(3 - number.size(), '0') + number;
    }

    std::vector<std::string> diskChildren(const std::string& path) const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_drive.path(path)))
            if (entry.is_directory())
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Every folder at and below `top` on the disk.
    std::vector<std::string> diskFolders(const std::string& top) const
    {
        std::vector<std::string> all{top};
        for (size_t i = 0; i < all.size(); ++i)
            for (const std::string& name : diskChildren(all[i]))
                all.push_back(join(all[i], name));
        return all;
    }

    QTreeWidgetItem* nodeAt(const std::string& path) const
    {
        QTreeWidgetItem* node = driveD();
        for (size_t from = 0; node && !path.empty() && from <= path.size();) {
            const size_t to = std::min(path.find('/', from), path.size());
            node = child(node, path.substr(from, to - from).c_str());
            from = to + 1;
        }
        return node;
    }

    // The tree's own view of what is in sight below `top`, and the faults of its structure.
    void inspect(QTreeWidgetItem* node, const std::string& path, bool shown, std::set<std::string>& visible,
                 std::vector<std::string>& faults) const
    {
        const TNodeData* data = GetNodeData(node);
        if (!data) {
            faults.push_back(path + ": node without data");
            return;
        }
        if (data->RemoteName != "D:\\" + QString::fromStdString(path).replace('/', '\\').toStdString() + "\\")
            faults.push_back(path + ": names " + data->RemoteName);
        if (shown)
            visible.insert(path);
        const std::vector<std::string> onDisk = diskChildren(path);
        if (data->State & Expanded) {
            const QStringList have = captions(node);
            QStringList want;
            for (const std::string& name : onDisk)
                want << QString::fromStdString(name);
            if (have != want)
                faults.push_back(path + ": holds " + have.join(',').toStdString() + " for " + want.join(',').toStdString());
            for (int i = 0; i < node->childCount(); ++i)
                inspect(node->child(i), join(path, node->child(i)->text(0).toStdString()), shown && node->isExpanded(),
                        visible, faults);
            return;
        }
        // Not read yet: at most the placeholder that lets it be opened, and that when there
        // is something to open.
        if (node->childCount() > 1 || (node->childCount() == 1 && GetNodeData(node->child(0))))
            faults.push_back(path + ": children below a folder that was never read");
        if (!onDisk.empty() && node->childCount() == 0)
            faults.push_back(path + ": has sub-folders but cannot be opened");
        if (node->isExpanded() && shown)
            faults.push_back(path + ": open but never read");
    }

    size_t m_names = 0;
};

TEST_F(FolderTreeModelTest, RandomExpandCollapseInsertAndDeleteKeepTheTreeConsistent)
{
    const char* given = std::getenv("TAMSEL_MODEL_SEED");
    const unsigned seed = given ? unsigned(std::strtoul(given, nullptr, 10)) : std::random_device{}();
    std::mt19937 random(seed);
    // A failure names the seed that replays it: TAMSEL_MODEL_SEED=<seed>.
    SCOPED_TRACE("TAMSEL_MODEL_SEED=" + std::to_string(seed));

    const std::string top = "m";
    makeFolder(top);
    std::vector<std::string> folders{top};
    for (int i = 0; i < 24; ++i) {
        const std::string parent = folders[random() % folders.size()];
        if (std::count(parent.begin(), parent.end(), '/') >= 4)
            continue;
        folders.push_back(join(parent, newName()));
        makeFolder(folders.back());
    }

    TMainForm& form = openForm();
    QTreeWidgetItem* drive = driveD();
    ASSERT_NE(drive, nullptr);
    ReferenceTree reference([this](const std::string& path) { return diskChildren(path); });
    drive->setExpanded(true);
    reference.expand("");
    ASSERT_NE(nodeAt(top), nullptr);

    std::ostringstream steps;
    auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
    for (int step = 0; step < 300; ++step) {
        const std::set<std::string> shownSet = reference.visible(top);
        const std::vector<std::string> shown(shownSet.begin(), shownSet.end());
        std::string what;
        switch (random() % 6) {
        case 0:
        case 1: {
            const std::string path = pick(shown);
            what = "expand " + path;
            nodeAt(path)->setExpanded(true);
            reference.expand(path);
            break;
        }
        case 2: {
            const std::string path = pick(shown);
            what = "collapse " + path;
            nodeAt(path)->setExpanded(false);
            reference.collapse(path);
            break;
        }
        case 3:
        case 4:
        case 5: {
            const std::vector<std::string> all = diskFolders(top);
            const bool insert = all.size() < 4 || random() % 2 == 0;
            std::string changed;
            if (insert) {
                changed = join(pick(all), newName());
                makeFolder(changed);
            } else {
                changed = all[1 + random() % (all.size() - 1)];
                fs::remove_all(m_drive.path(changed));
            }
            // The drive watcher reloads the whole drive; F5 reloads the folder in view.
            std::string root;
            if (random() % 2) {
                root = parentOf(changed);
                while (!root.empty() && !nodeAt(root))
                    root = parentOf(root);
            }
            what = std::string(insert ? "insert " : "delete ") + changed + ", refresh " + (root.empty() ? "D:" : root);
            form.RefreshNode(root.empty() ? drive : nodeAt(root), false);
            reference.refresh(root);
            break;
        }
        }
        steps << step << ": " << what << "\n";

        std::set<std::string> visible;
        std::vector<std::string> faults;
        QTreeWidgetItem* topNode = nodeAt(top);
        ASSERT_NE(topNode, nullptr) << steps.str();
        inspect(topNode, top, true, visible, faults);
        ASSERT_TRUE(faults.empty()) << faults.front() << "\nafter\n" << steps.str();
        const std::set<std::string> expected = reference.visible(top);
        ASSERT_EQ(visible, expected) << "after\n" << steps.str();
    }
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join('\n').toStdString();
}

} // namespace
