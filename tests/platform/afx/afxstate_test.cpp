#include "afx_test_support.h"

namespace {
TEST(afxstate, OneStateServesTheWholeProcess) {
    AFX_MODULE_STATE *state = AfxGetModuleState();
    EXPECT_EQ(state, AfxGetModuleState());
    HINSTANCE resources = reinterpret_cast<HINSTANCE>(&state);
    AfxSetResourceHandle(resources);
    EXPECT_EQ(resources, AfxGetResourceHandle());
    EXPECT_EQ(resources, state->m_hCurrentResourceHandle);
    AfxSetResourceHandle(nullptr);
    state->m_hCurrentInstanceHandle = resources;
    EXPECT_EQ(resources, AfxGetInstanceHandle());
    state->m_hCurrentInstanceHandle = nullptr;
}
}  // namespace
