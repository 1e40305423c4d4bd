// The shader library against what the renderer hands its programs: every program the start-up
// requires is there and built, and each program uses only the uniforms and samplers the renderer
// sets for it, and at least those its drawing needs (a name the renderer does not set would stay
// 0; one the program should read but does not is a program that ignores its input).
#include "tests/render/programs/nGLProgramHarness.h"

#include <map>

namespace {

typedef std::set<std::string> Names;

Names Join(std::initializer_list<Names> parts)
{
    Names all;
    for (const Names& part : parts) all.insert(part.begin(), part.end());
    return all;
}

// What the light pass sets for every light program, and per kind of light.
const Names kLightCommon = {"gbuffer0", "gbuffer1", "gbuffer2", "inverse_buffer_size", "view_depth_offset",
                            "shadow_bias", "diffuse_color", "specular_color", "shadow_color"};
const Names kLightAtPoint = {"range", "position_view_space"};
const Names kLightParallel = {"inverse_projection_2d", "display_buffer_ratio", "direction_view_space"};
const Names kLightSpot = {"direction_view_space", "spot_cone_angle", "spot_edge_angle"};
const Names kLightProjected = {"projection_texture", "light_projection_matrix"};

// What a point light's program reads at least.
const Names kPointNeeds = {"gbuffer0", "gbuffer1", "inverse_buffer_size", "view_depth_offset", "diffuse_color", "range",
                           "position_view_space"};
const Names kHighlightNeeds = {"gbuffer2", "specular_color"};

struct Contract
{
    Names allowed;  // what the renderer sets
    Names needed;   // what the program must read
};

std::map<std::string, Contract> Contracts()
{
    std::map<std::string, Contract> c;
    c["core::fog"] = {{"gbuffer0", "near", "inverse_range", "color", "inverse_buffer_size"},
                      {"gbuffer0", "near", "inverse_range", "color", "inverse_buffer_size"}};
    c["core::ambient"] = {{"gbuffer1", "gbuffer3", "inverse_buffer_size"}, {"gbuffer1", "gbuffer3", "inverse_buffer_size"}};
    const Names point = Join({kLightCommon, kLightAtPoint});
    const Names spot = Join({kLightCommon, kLightAtPoint, kLightSpot});
    const Names projected = Join({spot, kLightProjected});
    c["core::pointlight"] = {point, kPointNeeds};
    c["core::pointlight_specular"] = {point, Join({kPointNeeds, kHighlightNeeds})};
    c["core::linearlight"] = {Join({kLightCommon, kLightParallel}),
                              Join({{"gbuffer0", "gbuffer1", "inverse_buffer_size", "view_depth_offset", "diffuse_color"},
                                    kHighlightNeeds,
                                    kLightParallel})};
    c["core::spotlight"] = {spot, Join({kPointNeeds, kLightSpot})};
    c["core::spotlight_specular"] = {spot, Join({kPointNeeds, kLightSpot, kHighlightNeeds})};
    c["core::projective_spotlight"] = {projected, Join({kPointNeeds, kLightSpot, kHighlightNeeds, kLightProjected})};
    c["core::projective_spotlight_shadow"] = {
        projected, Join({{"gbuffer0", "inverse_buffer_size", "view_depth_offset", "range", "position_view_space", "shadow_color"},
                         kLightSpot,
                         kLightProjected})};
    // Shadowed light programs: the light's own names and those of its shadow maps.
    const Names kShadow = {"inverse_shadowmap_size", "shadow_bias", "shadow_color"};
    const Names kCubeFaces = {"psm_0", "psm_1", "psm_2", "psm_3", "psm_4", "psm_5", "psm_0_projection_matrix",
                              "psm_1_projection_matrix", "psm_2_projection_matrix", "psm_3_projection_matrix",
                              "psm_4_projection_matrix", "psm_5_projection_matrix"};
    const Names kSplits = {"pssm_0", "pssm_1", "pssm_2", "pssm_3", "pssm_0_projection_matrix", "pssm_1_projection_matrix",
                           "pssm_2_projection_matrix", "pssm_3_projection_matrix", "pssm_0_slice_distance",
                           "pssm_1_slice_distance", "pssm_2_slice_distance", "pssm_3_slice_distance"};
    const Names kSpotMap = {"light_view_depth_texture", "light_projection_matrix"};
    c["core::pointlight_shadowmap"] = {Join({point, kShadow, kCubeFaces, {"view_to_light_matrix"}}),
                                       Join({kPointNeeds, kHighlightNeeds, kShadow, kCubeFaces})};
    c["core::spotlight_shadowmap"] = {Join({projected, kShadow, kSpotMap}),
                                      Join({kPointNeeds, kLightSpot, kHighlightNeeds, kShadow, kSpotMap})};
    c["core::projective_spotlight_shadowmap"] = {Join({projected, kShadow, kSpotMap}),
                                                 Join({kPointNeeds, kLightSpot, kHighlightNeeds, kLightProjected, kShadow, kSpotMap})};
    c["core::linearlight_pssm"] = {Join({kLightCommon, kLightParallel, kShadow, kSplits}),
                                   Join({{"gbuffer0", "gbuffer1", "inverse_buffer_size", "view_depth_offset", "diffuse_color"},
                                         kHighlightNeeds,
                                         kLightParallel,
                                         kShadow,
                                         kSplits})};
    // Volumetric programs: what every shaft is given, and per kind of light.
    const Names volume = {"gbuffer0", "framebuffer_fx_scaler", "inverse_buffer_size", "view_depth_offset", "volumetric_step",
                          "volumetric_thickness", "volumetric_range", "volumetric_color"};
    const Names volumeShadow = {"inverse_shadowmap_size", "shadow_bias"};
    const Names cone = {"position_view_space", "direction_view_space", "cone_angle"};
    const Names coneMap = {"volume_view_depth_texture", "volume_projection_matrix"};
    c["core::volumetric_sphere"] = {Join({volume, {"position_view_space"}}), Join({volume, {"position_view_space"}})};
    c["core::volumetric_sphere_shadowmap"] = {Join({volume, {"position_view_space", "view_to_light_matrix"}, volumeShadow, kCubeFaces}),
                                              Join({volume, {"position_view_space"}, volumeShadow, kCubeFaces})};
    c["core::volumetric_cone"] = {Join({volume, cone}), Join({volume, cone})};
    c["core::volumetric_cone_shadowmap"] = {Join({volume, cone, volumeShadow, coneMap}), Join({volume, cone, volumeShadow, coneMap})};
    // The haze is looked up without a direction to move its samples by: no bias to read.
    c["core::shader_volumetric_fog_pssm"] = {Join({volume, volumeShadow, kSplits}),
                                             Join({volume, {"inverse_shadowmap_size"}, kSplits})};
    // The depth programs of the shadow pass's own: the pass draws each material's depth program,
    // so the renderer sets nothing on these; the alpha-tested one reads its texture and threshold.
    c["core::shadow_map"] = {{}, {}};
    c["core::shadow_map_alphatest"] = {{"diffuse_map", "alpha_threshold"}, {"diffuse_map", "alpha_threshold"}};
    const Names ssao = {"inverse_buffer_size", "framebuffer_fx_scaler", "display_buffer_ratio", "inverse_projection_2d",
                        "view_depth_offset", "distance", "ao_radius", "strength", "nrm_dpth", "noise_texture"};
    c["core::ssao"] = {ssao, ssao};
    const Names gaussian = {"inverse_buffer_size", "framebuffer_fx_scaler", "blur_size", "source"};
    c["core::h_gaussian_blur"] = {gaussian, gaussian};
    c["core::v_gaussian_blur"] = {gaussian, gaussian};
    // The edge-keeping blur also reads inverse_buffer_size, which the renderer sets on every
    // program that has it.
    const Names edgeBlur = {"blur_size", "ao_radius", "nrm_dpth", "source", "framebuffer_fx_scaler", "inverse_buffer_size"};
    c["core::normal_depth_blur"] = {edgeBlur, edgeBlur};
    c["core::velocity"] = {{"inverse_buffer_size", "view_previous_matrix", "model_previous_matrix", "user_clip_d",
                            "user_clip_n", "alpha_threshold"},
                           {"view_previous_matrix", "model_previous_matrix", "user_clip_d", "user_clip_n"}};
    // Post-processing programs: what the chain sets, and what each reads.
    const Names dof = {"inverse_buffer_size", "framebuffer_fx_scaler", "blur_size", "f_stop", "focal_distance", "source", "nrm_dpth"};
    c["core::h_dof"] = {dof, dof};
    c["core::v_dof"] = {dof, dof};
    // Full quality: the circles of confusion, the spread and the smoothing (none of them needs
    // the effect divisor, which the renderer sets all the same).
    c["core::dof_radius"] = {{"inverse_buffer_size", "framebuffer_fx_scaler", "blur_size", "f_stop", "f_dist", "nrm_dpth"},
                             {"inverse_buffer_size", "blur_size", "f_stop", "f_dist", "nrm_dpth"}};
    c["core::dof_spread"] = {{"inverse_buffer_size", "display_buffer_ratio", "framebuffer_fx_scaler", "source", "coc_texture",
                              "noise_texture"},
                             {"inverse_buffer_size", "source", "coc_texture", "noise_texture"}};
    c["core::dof_blur"] = {{"inverse_buffer_size", "framebuffer_fx_scaler", "source", "coc_texture"},
                           {"inverse_buffer_size", "source", "coc_texture"}};
    const Names terrain = {"blend_map", "layer0_map", "layer1_map", "layer2_map", "layer3_map", "blend_used",
                           "layer_used", "layer_tiling", "layer_angle", "layer_axis", "patch_place", "terrain_size",
                           "user_clip_d", "user_clip_n"};
    c["core::terrain_layers"] = {terrain, terrain};
    c["core::blit_layer_alpha"] = {{"inverse_buffer_size", "source"}, {"inverse_buffer_size", "source"}};
    const Names motion = {"inverse_buffer_size", "inverse_display_size", "strength", "nrm_dpth", "velocity_map", "pp_input"};
    c["core::motionblur"] = {motion, motion};
    c["core::radial_blur"] = {{"inverse_buffer_size", "display_buffer_ratio", "center", "strength", "source", "noise_texture"},
                              {"inverse_buffer_size", "center", "strength", "source", "noise_texture"}};
    c["core::hdr_no_ldr"] = {{"inverse_buffer_size", "framebuffer_fx_scaler", "strength", "exponent", "threshold", "source"},
                             {"strength", "exponent", "threshold", "source"}};
    c["core::tone_mapping"] = {{"inverse_buffer_size", "framebuffer_fx_scaler", "strength", "source", "bloom"},
                               {"inverse_buffer_size", "strength", "source", "bloom"}};
    const Names streak = {"inverse_buffer_size", "streak_direction", "streak_attenuation", "framebuffer_fx_scaler", "pass", "source"};
    c["core::light_streak"] = {streak, streak};
    const Names disp = {"inverse_buffer_size", "width", "compose_alpha"};
    c["core::chromatic_dispersion"] = {disp, disp};
    const Names hsl = {"inverse_buffer_size", "H", "S", "L", "compose_alpha"};
    c["core::hsl"] = {hsl, hsl};
    const Names sharpen = {"inverse_buffer_size", "strength", "source"};
    c["core::sharpen"] = {sharpen, sharpen};
    const Names noise = {"inverse_buffer_size", "strength", "monochromatic", "luma_bias", "random_a", "random_b", "source", "noise_texture"};
    c["core::noise"] = {noise, noise};
    return c;
}

std::string List(const Names& names)
{
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
    return text;
}

TEST_F(nGLProgramTest, EveryProgramTheStartUpRequiresIsInTheLibraryAndBuilt)
{
    const char* const required[] = {"core::fog", "core::ambient", "core::pointlight", "core::pointlight_specular",
                                    "core::ssao", "core::spotlight", "core::projective_spotlight_shadow",
                                    "core::spotlight_specular", "core::projective_spotlight"};
    for (const char* name : required) EXPECT_NE(Program(name), nullptr) << name;
}

TEST_F(nGLProgramTest, EachProgramUsesOnlyWhatTheRendererSetsAndAllItNeeds)
{
    const std::map<std::string, Contract> contracts = Contracts();
    nShaderLibrary* library = renderer->GetShaderLibrary();
    ASSERT_NE(library, nullptr);
    Names seen;
    for (int32_t i = 0; i < library->GetCount(); ++i) {
        nGL3Shader* shader = static_cast<nGL3Shader*>(library->GetAt(i));
        const std::string name = shader->GetName().GetCStr();
        SCOPED_TRACE(name);
        EXPECT_TRUE(seen.insert(name).second) << "two programs of one name";
        ASSERT_TRUE(shader->IsCompiled());
        const auto contract = contracts.find(name);
        if (contract == contracts.end()) {
            ADD_FAILURE() << "a program without a contract here";
            continue;
        }
        const Names active = ActiveUniforms(shader);
        Names unknown, missing;
        for (const std::string& n : active)
            if (!contract->second.allowed.count(n)) unknown.insert(n);
        for (const std::string& n : contract->second.needed)
            if (!active.count(n)) missing.insert(n);
        EXPECT_TRUE(unknown.empty()) << "uniforms the renderer never sets: " << List(unknown);
        EXPECT_TRUE(missing.empty()) << "uniforms the program ignores: " << List(missing);
    }
    for (const auto& contract : contracts) EXPECT_TRUE(seen.count(contract.first)) << contract.first << " is missing";
}

}
