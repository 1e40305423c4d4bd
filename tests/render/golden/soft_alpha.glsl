== pass 0
== signature VtxSink_Vertex_OpacitySink_Swz4000_Spl2dTT_Tex_UV0_ASoftZ_DiffuseSink_Spl2dTT_Tex_UV0_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;varying vec2 _n_uv0002;
varying float soft_depth;

void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
_n_uv0002 = vec2(gl_MultiTexCoord0);
soft_depth = gl_Position.z;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform sampler2D _n_sampler2D0001;
varying vec2 _n_uv0002;
varying float soft_depth;
uniform sampler2D normal_depth_map;
uniform vec2 inverse_buffer_size;
float	Contrast(float vinput, float power)
{
	float	voutput = 0.5 * pow(clamp(2 * (vinput > 0.5 ? 1.0 - vinput : vinput), 0.0, 1.0), power);
	return (vinput > 0.5) ? 1.0 - voutput : voutput;
}
uniform float alpha_threshold;
uniform sampler2D dither_map;
uniform sampler2D _n_sampler2D0005;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec4 _n_color0003 = texture2D(_n_sampler2D0001, _n_uv0002);
float _n_swizzle0004 = _n_color0003.w;
float screen_depth = texture2D(normal_depth_map, vec2(gl_FragCoord.x, gl_FragCoord.y) * inverse_buffer_size).w;
_n_swizzle0004 = _n_swizzle0004 * Contrast((screen_depth - soft_depth) / 0.5, 2.0);
vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_swizzle0004 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_swizzle0004 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec4 _n_color0006 = texture2D(_n_sampler2D0005, _n_uv0002);
gl_FragColor = vec4(_n_color0006.xyz, _n_swizzle0004);}
== pass 2
== signature VtxSink_Vertex_OpacitySink_Swz4000_Spl2dTT_Tex_UV0_ASoftZ_NormalSink_Nrm_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;varying vec2 _n_uv0002;
varying float soft_depth;
varying vec3 _n_tmp_normal0005;
varying float depth;

void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
_n_uv0002 = vec2(gl_MultiTexCoord0);
soft_depth = gl_Position.z;
_n_tmp_normal0005 = /*gl_NormalMatrix **/ gl_Normal;
depth = gl_Position.z;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform sampler2D _n_sampler2D0001;
varying vec2 _n_uv0002;
varying float soft_depth;
uniform sampler2D normal_depth_map;
uniform vec2 inverse_buffer_size;
float	Contrast(float vinput, float power)
{
	float	voutput = 0.5 * pow(clamp(2 * (vinput > 0.5 ? 1.0 - vinput : vinput), 0.0, 1.0), power);
	return (vinput > 0.5) ? 1.0 - voutput : voutput;
}
uniform float alpha_threshold;
uniform sampler2D dither_map;
varying vec3 _n_tmp_normal0005;
varying float depth;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec4 _n_color0003 = texture2D(_n_sampler2D0001, _n_uv0002);
float _n_swizzle0004 = _n_color0003.w;
float screen_depth = texture2D(normal_depth_map, vec2(gl_FragCoord.x, gl_FragCoord.y) * inverse_buffer_size).w;
_n_swizzle0004 = _n_swizzle0004 * Contrast((screen_depth - soft_depth) / 0.5, 2.0);
vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_swizzle0004 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_swizzle0004 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec3 _n_normal0006 = normalize(_n_tmp_normal0005);
gl_FragColor = vec4(normalize(gl_NormalMatrix * _n_normal0006), depth);
}
== pass 5
== signature VtxSink_Vertex_OpacitySink_Swz4000_Spl2dTT_Tex_UV0_ASoftZ_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;varying vec2 _n_uv0002;
varying float soft_depth;

void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
_n_uv0002 = vec2(gl_MultiTexCoord0);
soft_depth = gl_Position.z;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform sampler2D _n_sampler2D0001;
varying vec2 _n_uv0002;
varying float soft_depth;
uniform sampler2D normal_depth_map;
uniform vec2 inverse_buffer_size;
float	Contrast(float vinput, float power)
{
	float	voutput = 0.5 * pow(clamp(2 * (vinput > 0.5 ? 1.0 - vinput : vinput), 0.0, 1.0), power);
	return (vinput > 0.5) ? 1.0 - voutput : voutput;
}
uniform float alpha_threshold;
uniform sampler2D dither_map;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec4 _n_color0003 = texture2D(_n_sampler2D0001, _n_uv0002);
float _n_swizzle0004 = _n_color0003.w;
float screen_depth = texture2D(normal_depth_map, vec2(gl_FragCoord.x, gl_FragCoord.y) * inverse_buffer_size).w;
_n_swizzle0004 = _n_swizzle0004 * Contrast((screen_depth - soft_depth) / 0.5, 2.0);
vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_swizzle0004 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_swizzle0004 < clamp(alpha_threshold, 0.01, 1.0)) discard;
gl_FragColor = vec4(gl_FragCoord.z);gl_FragDepth = gl_FragCoord.z;}
== pass 3
== signature VtxSink_Vertex_OpacitySink_Swz4000_Spl2dTT_Tex_UV0_ASoftZ_DiffuseSink_Spl2dTT_Tex_UV0_SpecularSink_MatParm1_GlossinessSink_MatParm4_ConstantSink_MatParm2_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;varying vec2 _n_uv0002;
varying float soft_depth;

void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
_n_uv0002 = vec2(gl_MultiTexCoord0);
soft_depth = gl_Position.z;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform sampler2D _n_sampler2D0001;
varying vec2 _n_uv0002;
varying float soft_depth;
uniform sampler2D normal_depth_map;
uniform vec2 inverse_buffer_size;
float	Contrast(float vinput, float power)
{
	float	voutput = 0.5 * pow(clamp(2 * (vinput > 0.5 ? 1.0 - vinput : vinput), 0.0, 1.0), power);
	return (vinput > 0.5) ? 1.0 - voutput : voutput;
}
uniform float alpha_threshold;
uniform sampler2D dither_map;
uniform sampler2D _n_sampler2D0005;
vec4 _n_mat_param0007 = gl_FrontMaterial.specular;
float _n_mat_param0008 = gl_FrontMaterial.shininess / 256.0;
vec4 _n_mat_param0009 = gl_FrontMaterial.emission;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec4 _n_color0003 = texture2D(_n_sampler2D0001, _n_uv0002);
float _n_swizzle0004 = _n_color0003.w;
float screen_depth = texture2D(normal_depth_map, vec2(gl_FragCoord.x, gl_FragCoord.y) * inverse_buffer_size).w;
_n_swizzle0004 = _n_swizzle0004 * Contrast((screen_depth - soft_depth) / 0.5, 2.0);
vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_swizzle0004 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_swizzle0004 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec4 _n_color0006 = texture2D(_n_sampler2D0005, _n_uv0002);
				gl_FragData[0] = vec4(_n_color0006.xyz, 1.0);
				gl_FragData[1] = vec4(_n_mat_param0007.xyz, _n_mat_param0008);
				gl_FragData[2] = vec4(_n_mat_param0009.xyz, 0.0);
				}
