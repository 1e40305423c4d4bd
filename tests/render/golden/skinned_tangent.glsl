== pass 0
== signature VtxSink_Vertex_SkinMtx_OpacitySink_MatParm5_DiffuseSink_Spl2dTT_Tex_UV0_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform mat4 skin_mtx[32];
attribute vec4 skin_id, skin_w;
varying mat4 _n_skin_mtx0001;
varying vec2 _n_uv0004;

void main()
{
_n_vertex0000 = gl_Vertex;
_n_skin_mtx0001 = (skin_mtx[int(skin_id.x)] * skin_w.x + skin_mtx[int(skin_id.y)] * skin_w.y + skin_mtx[int(skin_id.z)] * skin_w.z + skin_mtx[int(skin_id.w)] * skin_w.w) / max(skin_w.x + skin_w.y + skin_w.z + skin_w.w, 1e-6);
gl_Position = gl_ModelViewProjectionMatrix * _n_skin_mtx0001 * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_skin_mtx0001 * _n_vertex0000).xyz;_n_uv0004 = vec2(gl_MultiTexCoord0);
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying mat4 _n_skin_mtx0001;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0002;
uniform float alpha_threshold;
uniform sampler2D dither_map;
uniform sampler2D _n_sampler2D0003;
varying vec2 _n_uv0004;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mat_param0002 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mat_param0002 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec4 _n_color0005 = texture2D(_n_sampler2D0003, _n_uv0004);
gl_FragColor = vec4(_n_color0005.xyz, _n_mat_param0002);}
== pass 2
== signature VtxSink_Vertex_SkinMtx_OpacitySink_MatParm5_NormalSink_Nrmz_Mul_TngFrm_Nrm_CToV_Swz1230_Spl2dTT_Tex_UV1_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform mat4 skin_mtx[32];
attribute vec4 skin_id, skin_w;
varying mat4 _n_skin_mtx0001;
varying vec3 _n_tmp_normal0003;
attribute vec3 attribute_tangent, attribute_bitangent;
varying vec3 _T, _B;
varying vec2 _n_uv0007;
varying float depth;

void main()
{
_n_vertex0000 = gl_Vertex;
_n_skin_mtx0001 = (skin_mtx[int(skin_id.x)] * skin_w.x + skin_mtx[int(skin_id.y)] * skin_w.y + skin_mtx[int(skin_id.z)] * skin_w.z + skin_mtx[int(skin_id.w)] * skin_w.w) / max(skin_w.x + skin_w.y + skin_w.z + skin_w.w, 1e-6);
gl_Position = gl_ModelViewProjectionMatrix * _n_skin_mtx0001 * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_skin_mtx0001 * _n_vertex0000).xyz;_n_tmp_normal0003 = /*gl_NormalMatrix **/ gl_Normal;
_T = /*gl_NormalMatrix **/ attribute_tangent;
_B = /*gl_NormalMatrix **/ attribute_bitangent;
_n_uv0007 = vec2(gl_MultiTexCoord1);
depth = gl_Position.z;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying mat4 _n_skin_mtx0001;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0002;
uniform float alpha_threshold;
uniform sampler2D dither_map;
varying vec3 _n_tmp_normal0003;
varying vec3 _T, _B;
uniform sampler2D _n_sampler2D0006;
varying vec2 _n_uv0007;
varying float depth;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mat_param0002 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mat_param0002 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec3 _n_normal0004 = normalize(_n_tmp_normal0003);
mat3 _n_tangent_frame0005 = mat3(normalize(_T), normalize(_B), _n_normal0004);
vec4 _n_color0008 = texture2D(_n_sampler2D0006, _n_uv0007);
vec3 _n_swizzle0009 = _n_color0008.xyz;
vec3 _n_unpacked_vector0010 = (_n_swizzle0009 - vec3(0.5, 0.5, 0.5)) * vec3(2.0, 2.0, 2.0);
vec3 _n_mul0011 = _n_tangent_frame0005 * _n_unpacked_vector0010;
vec3 _n_normalized0012 = normalize(_n_mul0011);
gl_FragColor = vec4(normalize(gl_NormalMatrix * (mat3(_n_skin_mtx0001) * _n_normalized0012)), depth);
}
== pass 5
== signature VtxSink_Vertex_SkinMtx_OpacitySink_MatParm5_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform mat4 skin_mtx[32];
attribute vec4 skin_id, skin_w;
varying mat4 _n_skin_mtx0001;

void main()
{
_n_vertex0000 = gl_Vertex;
_n_skin_mtx0001 = (skin_mtx[int(skin_id.x)] * skin_w.x + skin_mtx[int(skin_id.y)] * skin_w.y + skin_mtx[int(skin_id.z)] * skin_w.z + skin_mtx[int(skin_id.w)] * skin_w.w) / max(skin_w.x + skin_w.y + skin_w.z + skin_w.w, 1e-6);
gl_Position = gl_ModelViewProjectionMatrix * _n_skin_mtx0001 * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_skin_mtx0001 * _n_vertex0000).xyz;}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying mat4 _n_skin_mtx0001;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0002;
uniform float alpha_threshold;
uniform sampler2D dither_map;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mat_param0002 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mat_param0002 < clamp(alpha_threshold, 0.01, 1.0)) discard;
gl_FragColor = vec4(gl_FragCoord.z);gl_FragDepth = gl_FragCoord.z;}
== pass 3
== signature VtxSink_Vertex_SkinMtx_OpacitySink_MatParm5_DiffuseSink_Spl2dTT_Tex_UV0_SpecularSink_MatParm1_GlossinessSink_MatParm4_ConstantSink_MatParm2_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform mat4 skin_mtx[32];
attribute vec4 skin_id, skin_w;
varying mat4 _n_skin_mtx0001;
varying vec2 _n_uv0004;

void main()
{
_n_vertex0000 = gl_Vertex;
_n_skin_mtx0001 = (skin_mtx[int(skin_id.x)] * skin_w.x + skin_mtx[int(skin_id.y)] * skin_w.y + skin_mtx[int(skin_id.z)] * skin_w.z + skin_mtx[int(skin_id.w)] * skin_w.w) / max(skin_w.x + skin_w.y + skin_w.z + skin_w.w, 1e-6);
gl_Position = gl_ModelViewProjectionMatrix * _n_skin_mtx0001 * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_skin_mtx0001 * _n_vertex0000).xyz;_n_uv0004 = vec2(gl_MultiTexCoord0);
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying mat4 _n_skin_mtx0001;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0002;
uniform float alpha_threshold;
uniform sampler2D dither_map;
uniform sampler2D _n_sampler2D0003;
varying vec2 _n_uv0004;
vec4 _n_mat_param0006 = gl_FrontMaterial.specular;
float _n_mat_param0007 = gl_FrontMaterial.shininess / 256.0;
vec4 _n_mat_param0008 = gl_FrontMaterial.emission;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mat_param0002 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mat_param0002 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec4 _n_color0005 = texture2D(_n_sampler2D0003, _n_uv0004);
				gl_FragData[0] = vec4(_n_color0005.xyz, 1.0);
				gl_FragData[1] = vec4(_n_mat_param0006.xyz, _n_mat_param0007);
				gl_FragData[2] = vec4(_n_mat_param0008.xyz, 0.0);
				}
