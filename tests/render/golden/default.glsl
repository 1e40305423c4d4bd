== pass 0
== signature VtxSink_Vertex_OpacitySink_MatParm5_DiffuseSink_MatParm0_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;
void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0001;
uniform float alpha_threshold;
uniform sampler2D dither_map;
vec4 _n_mat_param0002 = gl_FrontMaterial.diffuse;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mat_param0001 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mat_param0001 < clamp(alpha_threshold, 0.01, 1.0)) discard;
gl_FragColor = vec4(_n_mat_param0002.xyz, _n_mat_param0001);}
== pass 2
== signature VtxSink_Vertex_OpacitySink_MatParm5_NormalSink_Nrm_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;varying vec3 _n_tmp_normal0002;
varying float depth;

void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
_n_tmp_normal0002 = /*gl_NormalMatrix **/ gl_Normal;
depth = gl_Position.z;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0001;
uniform float alpha_threshold;
uniform sampler2D dither_map;
varying vec3 _n_tmp_normal0002;
varying float depth;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mat_param0001 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mat_param0001 < clamp(alpha_threshold, 0.01, 1.0)) discard;
vec3 _n_normal0003 = normalize(_n_tmp_normal0002);
gl_FragColor = vec4(normalize(gl_NormalMatrix * _n_normal0003), depth);
}
== pass 5
== signature VtxSink_Vertex_OpacitySink_MatParm5_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;
void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0001;
uniform float alpha_threshold;
uniform sampler2D dither_map;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mat_param0001 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mat_param0001 < clamp(alpha_threshold, 0.01, 1.0)) discard;
gl_FragColor = vec4(gl_FragCoord.z);gl_FragDepth = gl_FragCoord.z;}
== pass 3
== signature VtxSink_Vertex_OpacitySink_MatParm5_DiffuseSink_MatParm0_SpecularSink_MatParm1_GlossinessSink_MatParm4_ConstantSink_MatParm2_
-- vertex
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;
void main()
{
_n_vertex0000 = gl_Vertex;
gl_Position = gl_ModelViewProjectionMatrix * _n_vertex0000;
frag_world_pos = (gl_ModelViewMatrix * _n_vertex0000).xyz;
}
-- fragment
#version 120
varying vec4 _n_vertex0000;
varying vec3 frag_world_pos;uniform float user_clip_d;
uniform vec3 user_clip_n;
uniform float _n_mat_param0001;
uniform float alpha_threshold;
uniform sampler2D dither_map;
vec4 _n_mat_param0002 = gl_FrontMaterial.diffuse;
vec4 _n_mat_param0003 = gl_FrontMaterial.specular;
float _n_mat_param0004 = gl_FrontMaterial.shininess / 256.0;
vec4 _n_mat_param0005 = gl_FrontMaterial.emission;

void main()
{
if ((dot(user_clip_n, user_clip_n) > 0.1) && ((dot(frag_world_pos, user_clip_n) + user_clip_d) > 0.0)) discard;vec2	screen_space = vec2(gl_FragCoord.x, gl_FragCoord.y) / vec2(8.0, 8.0);
if ((_n_mat_param0001 + 0.01) < texture2D(dither_map, screen_space).x) discard;
if (_n_mat_param0001 < clamp(alpha_threshold, 0.01, 1.0)) discard;
				gl_FragData[0] = vec4(_n_mat_param0002.xyz, 1.0);
				gl_FragData[1] = vec4(_n_mat_param0003.xyz, _n_mat_param0004);
				gl_FragData[2] = vec4(_n_mat_param0005.xyz, 0.0);
				}
