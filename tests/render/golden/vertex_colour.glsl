== pass 0
== signature VtxSink_Vertex_OpacitySink_Mul_MatParm5_Swz4000_VtxClr_DiffuseSink_Mul_Spl2dTT_Tex_UV0_Bld2341_VtxClr_VtxClr_VtxClr_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;varying vec4 _n_vertex_color0002;
varying vec2 _n_uv0006;

void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
_n_vertex_color0002 = gl_Color;
_n_uv0006 = vec2(gl_MultiTexCoord0);
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0001;
varying vec4 _n_vertex_color0002;
uniform float alpha_threshold;
uniform sampler2D dither_map;
uniform sampler2D _n_sampler2D0005;
varying vec2 _n_uv0006;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;float _n_swizzle0003 = _n_vertex_color0002.w;
float _n_mul0004 = _n_mat_param0001 * _n_swizzle0003;
vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mul0004 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mul0004 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec4 _n_color0007 = texture2D(_n_sampler2D0005, _n_uv0006);
vec4 _n_built0008 = vec4(_n_vertex_color0002.x, _n_vertex_color0002.y, _n_vertex_color0002.z, 1.0);
vec4 _n_mul0009 = _n_color0007 * _n_built0008;
gl_FragColor = vec4(_n_mul0009.xyz, _n_mul0004);}
== pass 2
== signature VtxSink_Vertex_OpacitySink_Mul_MatParm5_Swz4000_VtxClr_NormalSink_Nrm_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;varying vec4 _n_vertex_color0002;
varying vec3 _n_tmp_normal0005;
varying float depth;

void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
_n_vertex_color0002 = gl_Color;
_n_tmp_normal0005 = /*gl_NormalMatrix **/ gl_Normal;
depth = gl_Position.z;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0001;
varying vec4 _n_vertex_color0002;
uniform float alpha_threshold;
uniform sampler2D dither_map;
varying vec3 _n_tmp_normal0005;
varying float depth;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;float _n_swizzle0003 = _n_vertex_color0002.w;
float _n_mul0004 = _n_mat_param0001 * _n_swizzle0003;
vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mul0004 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mul0004 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec3 _n_normal0006 = normalize(_n_tmp_normal0005);
gl_FragColor = vec4(normalize(gl_NormalMatrix * _n_normal0006), depth);
}
== pass 5
== signature VtxSink_Vertex_OpacitySink_Mul_MatParm5_Swz4000_VtxClr_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;varying vec4 _n_vertex_color0002;

void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
_n_vertex_color0002 = gl_Color;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0001;
varying vec4 _n_vertex_color0002;
uniform float alpha_threshold;
uniform sampler2D dither_map;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;float _n_swizzle0003 = _n_vertex_color0002.w;
float _n_mul0004 = _n_mat_param0001 * _n_swizzle0003;
vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mul0004 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mul0004 < clamp(alpha_threshold, 0.01, 1.0)) discard;
gl_FragColor = vec4(gl_FragCoord.z);gl_FragDepth = gl_FragCoord.z;}
== pass 3
== signature VtxSink_Vertex_OpacitySink_Mul_MatParm5_Swz4000_VtxClr_DiffuseSink_Mul_Spl2dTT_Tex_UV0_Bld2341_VtxClr_VtxClr_VtxClr_SpecularSink_MatParm1_GlossinessSink_MatParm4_ConstantSink_MatParm2_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;varying vec4 _n_vertex_color0002;
varying vec2 _n_uv0006;

void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
_n_vertex_color0002 = gl_Color;
_n_uv0006 = vec2(gl_MultiTexCoord0);
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0001;
varying vec4 _n_vertex_color0002;
uniform float alpha_threshold;
uniform sampler2D dither_map;
uniform sampler2D _n_sampler2D0005;
varying vec2 _n_uv0006;
vec4 _n_mat_param0010 = gl_FrontMaterial.specular;
float _n_mat_param0011 = gl_FrontMaterial.shininess / 256.0;
vec4 _n_mat_param0012 = gl_FrontMaterial.emission;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;float _n_swizzle0003 = _n_vertex_color0002.w;
float _n_mul0004 = _n_mat_param0001 * _n_swizzle0003;
vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mul0004 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mul0004 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec4 _n_color0007 = texture2D(_n_sampler2D0005, _n_uv0006);
vec4 _n_built0008 = vec4(_n_vertex_color0002.x, _n_vertex_color0002.y, _n_vertex_color0002.z, 1.0);
vec4 _n_mul0009 = _n_color0007 * _n_built0008;
				gl_FragData[0] = vec4(_n_mul0009.xyz, 1.0);
				gl_FragData[1] = vec4(_n_mat_param0010.xyz, _n_mat_param0011);
				gl_FragData[2] = vec4(_n_mat_param0012.xyz, 0.0);
				}
