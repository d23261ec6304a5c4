#include "core/EditorState.h"

namespace zendal {

EditorState& editorState() {
    static EditorState state;
    return state;
}

}  // namespace zendal
