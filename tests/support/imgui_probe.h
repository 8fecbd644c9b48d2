// Drives Dear ImGui without a window or a GPU, and sees what it drew: every
// item with an id is reported by the toolkit's test hooks (built into a
// separate copy of the toolkit for tests) with its label, rectangle and
// whether it was disabled. Clicks are fed as mouse events over those
// rectangles.
#pragma once

#include <string>
#include <vector>

namespace VelmorTest {

struct ProbedItem {
    std::string label;
    float left = 0, top = 0, right = 0, bottom = 0;
    bool disabled = false;
};

class ImGuiProbe {
public:
    explicit ImGuiProbe(float width = 800, float height = 600);
    ~ImGuiProbe();
    ImGuiProbe(const ImGuiProbe&) = delete;
    ImGuiProbe& operator=(const ImGuiProbe&) = delete;

    // Runs one frame: `draw` is called inside a window of the given width
    // placed at the top-left corner.
    template <typename Draw>
    void frame(Draw&& draw, float windowWidth = 600)
    {
        beginFrame(windowWidth);
        draw();
        endFrame();
    }

    // The labelled items of the last frame, in drawing order.
    const std::vector<ProbedItem>& items() const { return items_; }
    const ProbedItem* find(const std::string& label) const;
    bool has(const std::string& label) const { return find(label) != nullptr; }

    // Moves the mouse to the centre of the item of the last frame, then
    // presses and releases `button` over it (0 left, 1 right), and draws one
    // more frame so that items() shows the outcome; `draw` runs in each of
    // the frames this takes. False when there is no such item.
    template <typename Draw>
    bool click(const std::string& label, Draw&& draw, int button = 0, float windowWidth = 600)
    {
        const ProbedItem* item = find(label);
        if (!item) return false;
        const float x = (item->left + item->right) / 2;
        const float y = (item->top + item->bottom) / 2;
        mouseMove(x, y);
        frame(draw, windowWidth);
        mouseButton(button, true);
        frame(draw, windowWidth);
        mouseButton(button, false);
        frame(draw, windowWidth);
        frame(draw, windowWidth);
        return true;
    }

private:
    void beginFrame(float windowWidth);
    void endFrame();
    void mouseMove(float x, float y);
    void mouseButton(int button, bool down);

    std::vector<ProbedItem> items_;
};

}  // namespace VelmorTest
